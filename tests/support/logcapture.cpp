#include "logcapture.h"

#include <QMutex>

namespace {
// Guards the chain of captures and their records: messages arrive from any thread.
QMutex captureMutex;
LogCapture *innermostCapture = nullptr;
} // namespace

LogCapture::LogCapture(Forwarding forwarding)
    : m_forwarding(forwarding)
{
    QMutexLocker lock(&captureMutex);
    m_outer = innermostCapture;
    innermostCapture = this;
    m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    QMutexLocker lock(&captureMutex);
    qInstallMessageHandler(m_previous);
    innermostCapture = m_outer;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    QtMessageHandler forwardTo = nullptr;
    {
        QMutexLocker lock(&captureMutex);
        if (!innermostCapture)
            return;
        const bool forward = innermostCapture->m_forwarding == Forward;
        for (LogCapture *capture = innermostCapture; capture; capture = capture->m_outer) {
            capture->m_messages.append({QByteArray(context.category), type, text});
            // Only the outermost capture knows the handler that is not a capture.
            if (!capture->m_outer && forward)
                forwardTo = capture->m_previous;
        }
    }
    if (forwardTo)
        forwardTo(type, context, text);
}

QList<LogCapture::Message> LogCapture::messages() const
{
    QMutexLocker lock(&captureMutex);
    return m_messages;
}

QStringList LogCapture::texts() const
{
    QStringList result;
    for (const Message &message : messages())
        result << message.text;
    return result;
}

int LogCapture::count(const QString &fragment) const
{
    int n = 0;
    for (const Message &message : messages())
        n += message.text.contains(fragment) ? 1 : 0;
    return n;
}

int LogCapture::count(QtMsgType type) const
{
    int n = 0;
    for (const Message &message : messages())
        n += message.type == type ? 1 : 0;
    return n;
}

void LogCapture::clear()
{
    QMutexLocker lock(&captureMutex);
    m_messages.clear();
}
