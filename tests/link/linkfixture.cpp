#include "linkfixture.h"

#include <QTest>

namespace {
struct EventName
{
    const char *signal;
    const char *event;
};

const EventName kEventNames[] = {
    {"nodeConnected", "nodeConnected"},
    {"nodeCommandResult", "result"},
    {"configureID", "configureID"},
    {"nodeSleeping", "nodeSleeping"},
    {"nodeKeyMismatch", "keyMismatch"},
    {"serialPortOpened", "opened"},
    {"serialPortFailed", "failed"},
};

template <typename T> QVector<T> column(const QList<QVariantList> &emissions, int index)
{
    QVector<T> values;
    for (const QVariantList &arguments : emissions)
        values << arguments.at(index).value<T>();
    return values;
}
} // namespace

LinkFixture::LinkFixture(const SimNodeProfile &profile, const Pacing &pacing)
    : m_port(profile)
    , m_pacing(pacing)
{
}

LinkFixture::~LinkFixture()
{
    m_recorder.reset();
    m_link.reset();
}

bool LinkFixture::start()
{
    if (!m_port.start())
        return false;
    m_link = std::make_unique<NodeInterface>(m_pacing);
    m_recorder = std::make_unique<SignalRecorder>(m_link.get());
    return true;
}

bool LinkFixture::open(int waitMs)
{
    if (!start())
        return false;
    m_link->connectSerialPort(m_port.path());
    return QTest::qWaitFor([this] { return count("opened") == 1; }, waitMs);
}

bool LinkFixture::replug(const SimNodeProfile &profile, int waitMs)
{
    const int openedBefore = count("opened");
    simulator().setProfile(profile);
    simulator().clearFaults();
    if (!m_port.start())
        return false;
    simulator().clearReceived();
    m_link->connectSerialPort(m_port.path());
    return QTest::qWaitFor([this, openedBefore] { return count("opened") == openedBefore + 1; }, waitMs);
}

QString LinkFixture::errorString() const
{
    return m_port.errorString();
}

QStringList LinkFixture::events() const
{
    QStringList events;
    if (!m_recorder)
        return events;
    for (const SignalRecorder::Emission &emission : m_recorder->emissions()) {
        if (emission.signal == "busy") {
            events << (emission.arguments.at(0).toBool() ? QStringLiteral("busy(true)")
                                                         : QStringLiteral("busy(false)"));
            continue;
        }
        // QThread's own signals are not the link's.
        for (const EventName &name : kEventNames) {
            if (emission.signal == name.signal)
                events << QString::fromLatin1(name.event);
        }
    }
    return events;
}

int LinkFixture::count(const char *event) const
{
    return events().count(QString::fromLatin1(event));
}

QList<QVariantList> LinkFixture::argumentsOf(const char *signal) const
{
    return m_recorder ? m_recorder->argumentsOf(signal) : QList<QVariantList>();
}

QVector<Node> LinkFixture::nodes() const
{
    return column<Node>(argumentsOf("nodeConnected"), 0);
}

QVector<CommandResult> LinkFixture::results() const
{
    return column<CommandResult>(argumentsOf("nodeCommandResult"), 0);
}

QVector<CommandFailure> LinkFixture::failures() const
{
    return column<CommandFailure>(argumentsOf("nodeCommandResult"), 1);
}

QVector<int> LinkFixture::types() const
{
    // The enum is registered under its name only, so its value is read as the int it is.
    QVector<int> types;
    for (const QVariantList &arguments : argumentsOf("configureID"))
        types << *static_cast<const int *>(arguments.at(0).constData());
    return types;
}

QStringList LinkFixture::opened() const
{
    return column<QString>(argumentsOf("serialPortOpened"), 0).toList();
}

QStringList LinkFixture::failed() const
{
    return column<QString>(argumentsOf("serialPortFailed"), 0).toList();
}

QStringList LinkFixture::failureReasons() const
{
    return column<QString>(argumentsOf("serialPortFailed"), 1).toList();
}
