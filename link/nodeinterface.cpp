#include "nodeinterface.h"

#include "linklog.h"
#include "nodecmdconfig.h"
#include "nodecmdreportrate.h"
#include "nodecmdsetloraid.h"
#include "nodecmdsetsigfoxdata.h"
#include "nodecmdsetthreshold.h"
#include "nodecmdsleep.h"
#include "nodecmdthreshold.h"
#include "nodecmdversion.h"
#include "replypatterns.h"

#include <QScopedValueRollback>
#include <QSerialPort>
#include <QTimer>

#include <optional>
#include <utility>

#include <poll.h>

namespace {
constexpr qint32 kBaudRate = 115200;
// The port reads ahead only this far: a node that floods the line while the link holds an answer back waits in
// the device instead of filling memory.
constexpr qint64 kReadAheadBytes = 64 * 1024;

constexpr int kBannerBoard = 0x1;
constexpr int kBannerModule = 0x2;
constexpr int kBannerRadio = 0x4;
constexpr int kBannerAll = kBannerBoard | kBannerModule | kBannerRadio;

const char kWakeLine[] = "\r";
const char kResetLine[] = "reset\r";

bool isBannerLine(const QString &line)
{
    return ReplyPatterns::boardVersion().match(line).hasMatch() || ReplyPatterns::moduleVersion().match(line).hasMatch()
        || ReplyPatterns::radioVersion().match(line).hasMatch();
}
} // namespace

NodeInterface::NodeInterface(QObject *parent)
    : NodeInterface(Pacing(), parent)
{
}

NodeInterface::NodeInterface(const Pacing &pacing, QObject *parent)
    : QThread(parent)
    , m_pacing(pacing)
{
    qRegisterMetaType<Node>("Node");
    qRegisterMetaType<NodeThresholds>("NodeThresholds");
    qRegisterMetaType<CommandResult>("CommandResult");
    qRegisterMetaType<CommandFailure>("CommandFailure");
    // configureID() is emitted on the link thread and so crosses threads with its argument.
    qRegisterMetaType<Node::eFirmwareType>("Node::eFirmwareType");
    start();
}

NodeInterface::~NodeInterface()
{
    {
        QMutexLocker lock(&m_handOff);
        m_running = false;
        m_requests.clear();
        wakeLinkLocked();
    }
    // The link thread ends its event loop itself, once a write or a reset under way has finished.
    wait();
}

// ---- GUI thread -------------------------------------------------------------------------------------------

void NodeInterface::readVersion()
{
    enqueue(Request(ReadVersion), m_pacing.beforeRequestMs);
}

void NodeInterface::setDeviceId(QString id)
{
    Request request(WriteDeviceId, id);
    request.portId = openPortId();
    enqueue(std::move(request), m_pacing.beforeRequestMs);
}

void NodeInterface::setSigfoxData(QString data)
{
    Request request(WriteSigfoxData, data);
    request.portId = openPortId();
    enqueue(std::move(request), m_pacing.beforeRequestMs);
}

Node NodeInterface::nodeRecord() const
{
    QMutexLocker lock(&m_handOff);
    return m_record;
}

void NodeInterface::connectSerialPort(QString serialPort)
{
    {
        // A write to the old port ends at once; it must not run on while the port it was meant for goes.
        QMutexLocker lock(&m_handOff);
        m_interruptOf = m_publishedExchange;
    }
    enqueue(Request(OpenPort, serialPort));
}

void NodeInterface::closeSerialPort()
{
    connectSerialPort(QString());
}

void NodeInterface::updateNode(Node node, int flags)
{
    if (!(flags & Node::FlagsWritable))
        return;
    Request request(WriteSettings);
    request.node = node;
    request.flags = flags;
    request.portId = openPortId();
    enqueue(std::move(request));
}

void NodeInterface::resetNode()
{
    qCDebug(lcLink, "NodeInterface: Reseting Node");
    {
        // Only a read is dropped: a write under way finishes first and the reset waits its turn behind it.
        QMutexLocker lock(&m_handOff);
        m_dropReadOf = m_publishedExchange;
    }
    enqueue(Request(Reset));
}

void NodeInterface::sleepNode()
{
    qCDebug(lcLink, "NodeInterface: Node going to sleep");
    {
        QMutexLocker lock(&m_handOff);
        m_dropReadOf = m_publishedExchange;
    }
    enqueue(Request(Sleep));
}

void NodeInterface::disconnectNode()
{
    QMutexLocker lock(&m_handOff);
    m_interruptOf = m_publishedExchange;
    wakeLinkLocked();
}

void NodeInterface::enqueue(Request request, int delayMs)
{
    request.notBefore = QDeadlineTimer(delayMs, Qt::PreciseTimer);
    QMutexLocker lock(&m_handOff);
    if (!m_running)
        return;
    m_requests.push_back(std::move(request));
    wakeLinkLocked();
}

quint64 NodeInterface::openPortId() const
{
    QMutexLocker lock(&m_handOff);
    return m_openPortId;
}

void NodeInterface::wakeLinkLocked()
{
    // Before the link thread has its event loop, it looks at the queue by itself once it starts.
    if (!m_linkContext || m_wakePosted)
        return;
    m_wakePosted = true;
    // The link thread's own request timer, started at 0 through Qt's queue, runs serviceQueue() there. No
    // functor built here is run over there: its captures would be data handed between the threads outside
    // m_handOff.
    QMetaObject::invokeMethod(m_requestTimer, "start", Qt::QueuedConnection, Q_ARG(int, 0));
}

// ---- link thread ------------------------------------------------------------------------------------------

void NodeInterface::run()
{
    QObject context;
    QTimer requestTimer;
    requestTimer.setSingleShot(true);
    requestTimer.setTimerType(Qt::PreciseTimer);
    connect(&requestTimer, &QTimer::timeout, &context, [this] { serviceQueue(); });
    QTimer stepTimer;
    stepTimer.setSingleShot(true);
    stepTimer.setTimerType(Qt::PreciseTimer);
    connect(&stepTimer, &QTimer::timeout, &context, [this] { onStepTimer(); });
    m_requestTimer = &requestTimer;
    m_stepTimer = &stepTimer;
    {
        QMutexLocker lock(&m_handOff);
        if (!m_running)
            return;
        m_linkContext = &context;
    }

    serviceQueue();
    exec();

    {
        QMutexLocker lock(&m_handOff);
        m_linkContext = nullptr;
    }
    m_requestTimer = nullptr;
    m_stepTimer = nullptr;
    m_write.reset();
    m_current.reset();
    if (m_port)
        m_port->close();
    m_port.reset();
}

void NodeInterface::serviceQueue()
{
    {
        // Cleared before anything else, so that a request or a drop asked for from now on wakes the link again.
        QMutexLocker lock(&m_handOff);
        m_wakePosted = false;
    }
    applyDrops();
    while (m_step == Step::None) {
        if (!m_running) {
            quit();
            return;
        }
        checkSuspectPort();
        std::optional<Request> request;
        qint64 waitNs = -1;
        {
            QMutexLocker lock(&m_handOff);
            if (!m_requests.empty()) {
                if (m_requests.front().notBefore.hasExpired()) {
                    request = std::move(m_requests.front());
                    m_requests.pop_front();
                } else {
                    waitNs = m_requests.front().notBefore.remainingTimeNSecs();
                }
            }
        }
        if (!request) {
            if (waitNs >= 0)
                m_requestTimer->start(int((waitNs + 999999) / 1000000));
            return;
        }
        execute(*request);
        readIncoming(); // what the node sent meanwhile
    }
    if (!m_running && m_step != Step::Write && m_step != Step::BeforeReset)
        quit();
}

void NodeInterface::execute(Request &request)
{
    switch (request.kind) {
    case OpenPort:
        openPort(request.text);
        break;
    case WriteSettings:
        startWrite(std::make_unique<NodeCMDsetThreshold>(request.node, request.flags, portFor(request), m_pacing));
        break;
    case ReadVersion:
        startRead(ReadKind::Version, std::make_unique<NodeCMDversion>(m_port.get(), m_pacing));
        break;
    case WriteSigfoxData:
        startWrite(std::make_unique<NodeCMDsetSigfoxData>(request.text, portFor(request), m_pacing));
        break;
    case WriteDeviceId:
        startWrite(std::make_unique<NodeCMDsetLoRaID>(request.text, portFor(request), m_pacing));
        break;
    case Reset:
        // The node restarts: whatever was being read from it is void.
        disposeRead();
        // A reset is sent only after a pause, so a node that just answered a write has stored its settings.
        if (m_port)
            startStep(Step::BeforeReset, m_pacing.beforeResetMs);
        break;
    case Sleep:
        startRead(ReadKind::Sleep, std::make_unique<NodeCMDsleep>(m_port.get(), m_pacing));
        break;
    }
}

void NodeInterface::resume()
{
    if (m_step != Step::None)
        return;
    readIncoming();
    serviceQueue();
}

void NodeInterface::startStep(Step step, int ms)
{
    m_step = step;
    m_stepTimer->start(ms);
}

void NodeInterface::onStepTimer()
{
    const Step step = std::exchange(m_step, Step::None);
    switch (step) {
    case Step::WakePause:
        if (m_port)
            startRead(ReadKind::Configuration, std::make_unique<NodeCMDconfig>(m_port.get(), m_pacing));
        break;
    case Step::BeforeThresholds:
        if (m_port)
            startRead(ReadKind::Thresholds, std::make_unique<NodeCMDthreshold>(m_port.get(), m_pacing));
        break;
    case Step::BeforeReset:
        sendReset();
        break;
    case Step::Hold:
    case Step::Write:
    case Step::None:
        break;
    }
    resume();
}

void NodeInterface::applyDrops()
{
    quint64 dropRead = 0;
    quint64 interrupt = 0;
    {
        QMutexLocker lock(&m_handOff);
        dropRead = std::exchange(m_dropReadOf, 0);
        interrupt = std::exchange(m_interruptOf, 0);
    }
    if (m_exchange == 0)
        return;
    if (m_current && (m_exchange == dropRead || m_exchange == interrupt))
        disposeRead();
    else if (m_write && m_exchange == interrupt)
        m_write->interrupt();
}

void NodeInterface::setCurrentExchange(quint64 id)
{
    m_exchange = id;
    QMutexLocker lock(&m_handOff);
    m_publishedExchange = id;
}

void NodeInterface::startRead(ReadKind kind, std::unique_ptr<NodeCommand> command)
{
    disposeRead();
    m_current = std::move(command);
    m_currentKind = kind;
    setCurrentExchange(++m_exchangeCounter);

    // The handlers run on this thread, inside parseReply(); the command is disposed of only after it returned.
    NodeCommand *raw = m_current.get();
    switch (kind) {
    case ReadKind::Configuration:
        connect(static_cast<NodeCMDconfig *>(raw), &NodeCMDconfig::updateConfig, raw, [this](Node node) {
            QMutexLocker lock(&m_handOff);
            m_record.firmwareType = node.firmwareType;
            m_record.deviceType = node.deviceType;
            m_record.deviceCommunication = node.deviceCommunication;
            m_record.euid = node.euid;
            m_record.pac = node.pac;
            m_record.appId = node.appId;
            m_record.appKey = node.appKey;
            m_record.netId = node.netId;
        });
        break;
    case ReadKind::Thresholds:
        connect(static_cast<NodeCMDthreshold *>(raw), &NodeCMDthreshold::updateThreshold, raw,
            [this](NodeThresholds thresholds) {
                QMutexLocker lock(&m_handOff);
                m_record.thresholds = thresholds;
            });
        break;
    case ReadKind::ReportRate:
        connect(static_cast<NodeCMDreportRate *>(raw), &NodeCMDreportRate::updateRate, raw, [this](int rate) {
            QMutexLocker lock(&m_handOff);
            m_record.reportRate = rate;
        });
        break;
    case ReadKind::Version:
        connect(static_cast<NodeCMDversion *>(raw), &NodeCMDversion::updateVersion, raw,
            [this](Node node) { emit configureID(node.firmwareType); });
        break;
    case ReadKind::Sleep:
        connect(static_cast<NodeCMDsleep *>(raw), &NodeCMDsleep::nodeSleeping, raw, [this] { emit nodeSleeping(); });
        break;
    }

    // The answer is left in the port for a while, so that the node has answered in full before it is parsed.
    if (m_current->sendCommand() == CommandResult::Done)
        startStep(Step::Hold, m_pacing.holdAfterReadMs);
}

void NodeInterface::readComplete()
{
    const ReadKind kind = m_currentKind;
    // A command whose answer is complete is done with: later lines go to the banner detector, so a node that
    // starts again right after answering (after going to sleep, say) is noticed.
    disposeRead();
    switch (kind) {
    case ReadKind::Configuration:
        startStep(Step::BeforeThresholds, m_pacing.beforeRequestMs);
        break;
    case ReadKind::Thresholds:
        startRead(ReadKind::ReportRate, std::make_unique<NodeCMDreportRate>(m_port.get(), m_pacing));
        break;
    case ReadKind::ReportRate:
        emit nodeConnected(nodeRecord());
        break;
    case ReadKind::Version:
    case ReadKind::Sleep:
        break;
    }
}

void NodeInterface::disposeRead()
{
    if (!m_current)
        return;
    m_current.reset();
    setCurrentExchange(0);
}

void NodeInterface::startWrite(std::unique_ptr<NodeWriteCommand> command)
{
    // From here on the write reads the port for its verdicts; a read still waiting for its answer ends.
    disposeRead();
    m_write = std::move(command);
    setCurrentExchange(++m_exchangeCounter);
    m_step = Step::Write;
    // Queued, so that the command is disposed of only after it has returned from emitting.
    connect(
        m_write.get(), &NodeWriteCommand::finished, m_linkContext,
        [this](CommandResult result, CommandFailure failure) { writeFinished(result, failure); }, Qt::QueuedConnection);
    m_write->sendCommand();
}

void NodeInterface::writeFinished(CommandResult result, CommandFailure failure)
{
    if (const auto *settings = qobject_cast<const NodeCMDsetThreshold *>(m_write.get()))
        emit settingsAcknowledged(settings->acknowledgedFlags());
    emit nodeCommandResult(result, failure);
    m_write.reset();
    setCurrentExchange(0);
    m_step = Step::None;
    resume();
}

QSerialPort *NodeInterface::portFor(const Request &request) const
{
    // A write goes to the port that was open when it was asked for; if that port has since been closed or
    // replaced, the write finds no port and reports failure instead of reaching another device.
    if (m_port && request.portId != 0 && request.portId == m_openPortId)
        return m_port.get();
    return nullptr;
}

void NodeInterface::sendReset()
{
    if (!m_port)
        return;
    m_port->write(kResetLine);
    m_port->flush();
}

void NodeInterface::openPort(const QString &name)
{
    closePort();
    m_portName = name;
    // No name: the port is only closed (the operator disconnected); nothing is reported.
    if (name.isEmpty())
        return;

    auto port = std::make_unique<QSerialPort>(name);
    port->setBaudRate(kBaudRate, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    port->setReadBufferSize(kReadAheadBytes);
    if (!port->open(QIODevice::ReadWrite)) {
        const QString reason = port->errorString();
        qCInfo(lcLink).noquote() << QStringLiteral("Could not open serial port ") + name;
        emit serialPortFailed(name, reason);
        return;
    }
    qCInfo(lcLink).noquote() << QStringLiteral("Opened serial port ") + name;

    QSerialPort *raw = port.get();
    connect(raw, &QSerialPort::readyRead, raw, [this] { readIncoming(); });
    connect(raw, &QSerialPort::errorOccurred, raw, [this](QSerialPort::SerialPortError error) { onPortError(error); });
    m_port = std::move(port);
    m_portSuspect = false;
    {
        QMutexLocker lock(&m_handOff);
        m_openPortId = ++m_portCounter;
    }
    emit serialPortOpened(name);
}

void NodeInterface::closePort()
{
    if (!m_port)
        return;
    if (m_port->isOpen()) {
        qCInfo(lcLink).noquote() << QStringLiteral("Closing serial port ") + m_portName;
        m_port->close();
    }
    releasePort();
}

void NodeInterface::releasePort()
{
    // Commands keep a pointer to the port they were built on; none may outlive it.
    disposeRead();
    m_port.reset();
    m_lines.clear();
    m_inbox.clear();
    QMutexLocker lock(&m_handOff);
    m_openPortId = 0;
}

void NodeInterface::onPortError(int error)
{
    // NoError comes with every open and UnsupportedOperationError with line signals a pseudo-terminal lacks;
    // only these two can mean the device is gone.
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (m_portSuspect || !m_port)
        return;
    m_portSuspect = true;
    // Not examined from inside the port's own notification; the event loop gets to it next.
    QMetaObject::invokeMethod(
        m_port.get(), [this] { checkSuspectPort(); }, Qt::QueuedConnection);
}

bool NodeInterface::portDeviceGone() const
{
    // A look without waiting: a port whose device is gone (a hung-up pseudo-terminal, an unplugged adapter)
    // reports a hang-up or an error on its descriptor at once.
    pollfd descriptor{};
    descriptor.fd = int(m_port->handle());
    descriptor.events = POLLIN;
    if (::poll(&descriptor, 1, 0) < 0)
        return false;
    return (descriptor.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void NodeInterface::checkSuspectPort()
{
    if (!m_portSuspect)
        return;
    m_portSuspect = false;
    if (!m_port)
        return;
    if (!portDeviceGone()) {
        m_port->clearError();
        readIncoming();
        return;
    }

    // Such a port stays "open" and reports errors without end; only closing it stops that.
    qCInfo(lcLink).noquote() << QStringLiteral(
        "NodeInterface: serial port %1 failed (%2); closed until it is chosen again")
                                    .arg(m_portName, m_port->errorString());
    // A write on it has lost its node: it ends as unanswered before the port goes.
    if (m_write)
        m_write->abandonPort();
    m_port->close();
    releasePort();
    emit serialPortFailed(m_portName, QStringLiteral("The device is no longer connected"));
}

void NodeInterface::readIncoming()
{
    if (m_reading)
        return;
    QScopedValueRollback<bool> guard(m_reading, true);
    // Lines are handled one at a time: a line may begin a step (the wake pause, a read's hold), and the lines
    // behind it then wait until the step is over, as if they had not been read yet.
    while (m_step == Step::None) {
        if (m_inbox.empty()) {
            if (!m_port || m_port->bytesAvailable() <= 0)
                return;
            for (QString &line : m_lines.feed(m_port->readAll()))
                m_inbox.push_back(std::move(line));
            continue;
        }
        const QString line = std::move(m_inbox.front());
        m_inbox.pop_front();
        handleLine(line);
    }
}

void NodeInterface::handleLine(const QString &line)
{
    applyDrops();
    if (m_current) {
        if (m_current->isTimedOut()) {
            qCInfo(lcLink, "timed out");
            emit busy(false);
            disposeRead();
        } else if (m_currentKind != ReadKind::Version && isBannerLine(line)) {
            // The node started again in the middle of the exchange (the version read's answer is a banner, so
            // only there is such a line expected). What it answered so far belongs to the run before; it is read
            // again from the start once its new banner is complete.
            qCInfo(lcLink, "NodeInterface: the node started again during a read");
            disposeRead();
        } else {
            const CommandResult result = m_current->parseReply(line);
            if (result == CommandResult::Done) {
                readComplete();
            } else if (result == CommandResult::Failed && m_currentKind == ReadKind::Configuration) {
                // Identifiers that do not decipher under our key: nothing of this node is read further or
                // announced, and later lines go to the banner detector again.
                disposeRead();
                emit nodeKeyMismatch();
            }
            return;
        }
    }
    detectBanner(line);
}

void NodeInterface::detectBanner(const QString &line)
{
    if (m_bannerFlags != kBannerAll) {
        QRegularExpressionMatch match = ReplyPatterns::boardVersion().match(line);
        if (match.hasMatch()) {
            {
                QMutexLocker lock(&m_handOff);
                m_record.nodeVersion = match.captured(1);
            }
            m_bannerFlags |= kBannerBoard;
            emit busy(true);
        } else if ((match = ReplyPatterns::moduleVersion().match(line)).hasMatch()) {
            QMutexLocker lock(&m_handOff);
            m_record.moduleVersion = match.captured(1);
            m_bannerFlags |= kBannerModule;
        } else if ((match = ReplyPatterns::radioVersion().match(line)).hasMatch()) {
            QMutexLocker lock(&m_handOff);
            m_record.loraVersion = match.captured(1);
            m_bannerFlags |= kBannerRadio;
        }
    }
    if (m_bannerFlags == kBannerAll) {
        m_bannerComplete = true;
        m_bannerFlags = 0;
    }
    if (m_bannerComplete && line == QLatin1String("VCOM started")) {
        m_bannerComplete = false;
        startConfigurationRead();
    }
}

void NodeInterface::startConfigurationRead()
{
    disposeRead();
    if (!m_port)
        return;
    m_port->write(kWakeLine);
    m_port->flush();
    // The node needs a moment after the carriage return that wakes its command line, before the first command.
    startStep(Step::WakePause, m_pacing.wakePauseMs);
}
