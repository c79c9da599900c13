#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Records every message logged while it lives, from any thread, and by default passes each one on to the
// handler that was installed before (QtTest's, so that QTest::ignoreMessage and failing on warnings still
// work). Captures may nest; each records what is logged during its own lifetime. Destroy them in reverse
// order of construction, as scopes do.
class LogCapture
{
public:
    enum Forwarding { Forward, Quiet };

    struct Message
    {
        QByteArray category;
        QtMsgType type;
        QString text;
    };

    explicit LogCapture(Forwarding forwarding = Forward);
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QList<Message> messages() const;
    QStringList texts() const;
    // How many recorded messages contain the fragment.
    int count(const QString &fragment) const;
    int count(QtMsgType type) const;
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);

    Forwarding m_forwarding;
    QtMessageHandler m_previous = nullptr;
    LogCapture *m_outer = nullptr;
    QList<Message> m_messages;
};
