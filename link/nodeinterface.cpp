#include "nodeinterface.h"

#include "nodecmdconfig.h"
#include "nodecmdreportrate.h"
#include "nodecmdsetloraid.h"
#include "nodecmdsetsigfoxdata.h"
#include "nodecmdsetthreshold.h"
#include "nodecmdsleep.h"
#include "nodecmdthreshold.h"
#include "nodecmdversion.h"
#include "replypatterns.h"

#include <QLoggingCategory>
#include <QScopedValueRollback>
#include <QSerialPort>
#include <QTimer>

#include <optional>
#include <utility>

namespace {
constexpr qint32 kBaudRate = 115200;
// The node needs a moment after the carriage return that wakes its command line, before the first command.
constexpr unsigned long kAfterWakePauseMs = 500;
// The configure path and the threshold read give the node this long before their command.
constexpr int kBeforeRequestPauseMs = 500;
// A reset is sent only after this pause, so a node that just answered a write has stored its settings.
constexpr unsigned long kBeforeResetPauseMs = 2000;

constexpr int kBannerBoard = 0x1;
constexpr int kBannerModule = 0x2;
constexpr int kBannerRadio = 0x4;
constexpr int kBannerAll = kBannerBoard | kBannerModule | kBannerRadio;

const char kWakeLine[] = "\r";
const char kResetLine[] = "reset\r";
} // namespace

NodeInterface::NodeInterface(QObject *parent)
    : QThread(parent)
{
    qRegisterMetaType<Node>("Node");
    qRegisterMetaType<NodeThresholds>("NodeThresholds");
    start();
}

NodeInterface::~NodeInterface()
{
    {
        QMutexLocker lock(&m_handOff);
        m_running = false;
        m_requests.clear();
    }
    // The job in progress (a whole write exchange included) finishes before the event loop sees the quit.
    quit();
    wait();
}

// ---- GUI thread -------------------------------------------------------------------------------------------

void NodeInterface::readVersion()
{
    enqueue(Request(ReadVersion), kBeforeRequestPauseMs);
}

void NodeInterface::setDeviceId(QString id)
{
    Request request(WriteDeviceId, id);
    request.portId = openPortId();
    enqueue(std::move(request), kBeforeRequestPauseMs);
}

void NodeInterface::setSigfoxData(QString data)
{
    Request request(WriteSigfoxData, data);
    request.portId = openPortId();
    enqueue(std::move(request), kBeforeRequestPauseMs);
}

Node NodeInterface::nodeRecord() const
{
    QMutexLocker lock(&m_handOff);
    return m_record;
}

void NodeInterface::connectSerialPort(QString serialPort)
{
    enqueue(Request(OpenPort, serialPort));
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
    qDebug("NodeInterface: Reseting Node");
    enqueue(Request(Reset), 0, true);
}

void NodeInterface::sleepNode()
{
    qDebug("NodeInterface: Node going to sleep");
    enqueue(Request(Sleep), 0, true);
}

void NodeInterface::disconnectNode()
{
    requestDrop();
}

void NodeInterface::updateVersion(Node node)
{
    emit configureID(node.firmwareType);
}

void NodeInterface::updateConfig(Node node)
{
    {
        QMutexLocker lock(&m_handOff);
        m_record.firmwareType = node.firmwareType;
        m_record.deviceType = node.deviceType;
        m_record.deviceCommunication = node.deviceCommunication;
        m_record.euid = node.euid;
        m_record.pac = node.pac;
        m_record.appId = node.appId;
        m_record.appKey = node.appKey;
        m_record.netId = node.netId;
    }
    enqueue(Request(ReadThresholds), kBeforeRequestPauseMs);
}

void NodeInterface::updateThreshold(NodeThresholds thresholds)
{
    {
        QMutexLocker lock(&m_handOff);
        m_record.thresholds = thresholds;
    }
    enqueue(Request(ReadReportRate));
}

void NodeInterface::updateRate(int rate)
{
    {
        QMutexLocker lock(&m_handOff);
        m_record.reportRate = rate;
    }
    enqueue(Request(AnnounceNode));
}

void NodeInterface::enqueue(Request request, int delayMs, bool dropCurrent)
{
    request.notBefore = QDeadlineTimer(delayMs, Qt::PreciseTimer);
    QMutexLocker lock(&m_handOff);
    if (!m_running)
        return;
    // The drop is flagged rather than queued: it takes effect before the link's next job or next line, as if
    // it had happened at once, while requests already waiting keep their turn.
    if (dropCurrent)
        m_dropRequested = true;
    m_requests.push_back(std::move(request));
    wakeLinkLocked();
}

void NodeInterface::requestDrop()
{
    QMutexLocker lock(&m_handOff);
    m_dropRequested = true;
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
    QMetaObject::invokeMethod(
        m_linkContext, [this] { serviceQueue(); }, Qt::QueuedConnection);
}

// ---- link thread ------------------------------------------------------------------------------------------

void NodeInterface::run()
{
    QObject context;
    QTimer requestTimer;
    requestTimer.setSingleShot(true);
    requestTimer.setTimerType(Qt::PreciseTimer);
    connect(&requestTimer, &QTimer::timeout, &context, [this] { serviceQueue(); });
    m_requestTimer = &requestTimer;
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
    m_current.reset();
    if (m_port)
        m_port->close();
    m_port.reset();
}

void NodeInterface::serviceQueue()
{
    // Runs from the event loop only; a blocking job never gives it a chance to nest.
    while (m_running) {
        checkSuspectPort();
        std::optional<Request> request;
        bool drop = false;
        qint64 waitNs = -1;
        {
            QMutexLocker lock(&m_handOff);
            m_wakePosted = false;
            drop = std::exchange(m_dropRequested, false);
            if (!m_requests.empty()) {
                if (m_requests.front().notBefore.hasExpired()) {
                    request = std::move(m_requests.front());
                    m_requests.pop_front();
                } else {
                    waitNs = m_requests.front().notBefore.remainingTimeNSecs();
                }
            }
        }
        if (drop)
            m_current.reset();
        if (!request) {
            if (waitNs >= 0)
                m_requestTimer->start(int((waitNs + 999999) / 1000000));
            return;
        }
        {
            QScopedValueRollback<bool> busyGuard(m_linkBusy, true);
            execute(*request);
        }
        readIncoming(); // what the node sent while the job ran
    }
}

void NodeInterface::execute(Request &request)
{
    switch (request.kind) {
    case OpenPort:
        openPort(request.text);
        break;
    case ReadThresholds: {
        NodeCommand *command = startReadCommand(std::make_unique<NodeCMDthreshold>(m_port.get()));
        connect(static_cast<NodeCMDthreshold *>(command), &NodeCMDthreshold::updateThreshold, this,
            &NodeInterface::updateThreshold);
        break;
    }
    case ReadReportRate: {
        NodeCommand *command = startReadCommand(std::make_unique<NodeCMDreportRate>(m_port.get()));
        connect(static_cast<NodeCMDreportRate *>(command), &NodeCMDreportRate::updateRate, this,
            &NodeInterface::updateRate);
        break;
    }
    case AnnounceNode:
        m_current.reset();
        emit nodeConnected(nodeRecord());
        break;
    case WriteSettings:
        runWriteCommand(std::make_unique<NodeCMDsetThreshold>(request.node, request.flags, portFor(request)));
        break;
    case ReadVersion: {
        NodeCommand *command = startReadCommand(std::make_unique<NodeCMDversion>(m_port.get()));
        connect(static_cast<NodeCMDversion *>(command), &NodeCMDversion::updateVersion, this,
            &NodeInterface::updateVersion);
        break;
    }
    case WriteSigfoxData:
        runWriteCommand(std::make_unique<NodeCMDsetSigfoxData>(request.text, portFor(request)));
        break;
    case WriteDeviceId:
        runWriteCommand(std::make_unique<NodeCMDsetLoRaID>(request.text, portFor(request)));
        break;
    case Reset:
        resetNow();
        break;
    case Sleep: {
        NodeCommand *command = startReadCommand(std::make_unique<NodeCMDsleep>(m_port.get()));
        // Forwarded: the window listens to the link, not to the command.
        connect(static_cast<NodeCMDsleep *>(command), &NodeCMDsleep::nodeSleeping, this, &NodeInterface::nodeSleeping);
        break;
    }
    default:
        break;
    }
}

NodeCommand *NodeInterface::startReadCommand(std::unique_ptr<NodeCommand> command)
{
    m_current.reset();
    m_current = std::move(command);
    m_current->sendCommand();
    // The reply signal is connected by the caller only now; replies are read after this returns anyway.
    return m_current.get();
}

void NodeInterface::runWriteCommand(std::unique_ptr<NodeCommand> command)
{
    const int result = command->sendCommand();
    emit nodeCommandResult(result);
    command.reset();
    m_current.reset();
}

QSerialPort *NodeInterface::portFor(const Request &request) const
{
    // A write goes to the port that was open when it was asked for; if that port has since been closed or
    // replaced, the write finds no port and reports failure instead of reaching another device.
    if (m_port && request.portId != 0 && request.portId == m_openPortId)
        return m_port.get();
    return nullptr;
}

void NodeInterface::resetNow()
{
    if (!m_port)
        return;
    QThread::msleep(kBeforeResetPauseMs);
    m_port->write(kResetLine);
    m_port->waitForBytesWritten(NodeCommand::kWriteWaitMs);
}

void NodeInterface::openPort(const QString &name)
{
    closePort();
    m_portName = name;

    auto port = std::make_unique<QSerialPort>(name);
    port->setBaudRate(kBaudRate, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    port->setParity(QSerialPort::NoParity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (!port->open(QIODevice::ReadWrite)) {
        const QString reason = port->errorString();
        qInfo().noquote() << QStringLiteral("Could not open serial port ") + name;
        emit serialPortFailed(name, reason);
        return;
    }
    qInfo().noquote() << QStringLiteral("Opened serial port ") + name;

    QSerialPort *raw = port.get();
    connect(raw, &QSerialPort::readyRead, raw, [this] {
        if (!m_linkBusy)
            readIncoming();
    });
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
        qInfo().noquote() << QStringLiteral("Closing serial port ") + m_portName;
        m_port->close();
    }
    // Commands keep a pointer to the port they were built on; none may outlive it.
    m_current.reset();
    m_port.reset();
    m_lines.clear();
    QMutexLocker lock(&m_handOff);
    m_openPortId = 0;
}

void NodeInterface::onPortError(int error)
{
    // NoError comes with every open, TimeoutError with every wait that saw no data and UnsupportedOperationError
    // with line signals a pseudo-terminal lacks; only these two can mean the device is gone.
    if (error != QSerialPort::ReadError && error != QSerialPort::ResourceError)
        return;
    if (m_portSuspect || !m_port)
        return;
    m_portSuspect = true;
    // Not examined from inside the port's own notification; the event loop gets to it next.
    QMetaObject::invokeMethod(
        m_port.get(), [this] { checkSuspectPort(); }, Qt::QueuedConnection);
}

void NodeInterface::checkSuspectPort()
{
    if (!m_portSuspect)
        return;
    if (!m_port) {
        m_portSuspect = false;
        return;
    }
    // A read error also follows a stale readiness notice whose data a blocking wait had already taken. A port
    // whose device is gone (a hung-up pseudo-terminal, an unplugged adapter) fails every read at once, so one
    // more look tells the two apart.
    bool gone = false;
    {
        QScopedValueRollback<bool> busyGuard(m_linkBusy, true);
        m_port->clearError();
        m_port->waitForReadyRead(0);
        const QSerialPort::SerialPortError error = m_port->error();
        gone = error == QSerialPort::ReadError || error == QSerialPort::ResourceError;
    }
    m_portSuspect = false;
    if (!gone) {
        readIncoming();
        return;
    }

    // Such a port stays "open" and reports errors without end; only closing it stops that.
    qInfo().noquote() << QStringLiteral("NodeInterface: serial port %1 failed (%2); closed until it is chosen again")
                             .arg(m_portName, m_port->errorString());
    m_port->close();
    m_current.reset();
    m_port.reset();
    m_lines.clear();
    {
        QMutexLocker lock(&m_handOff);
        m_openPortId = 0;
    }
    emit serialPortFailed(m_portName, QStringLiteral("The device is no longer connected"));
}

void NodeInterface::readIncoming()
{
    QScopedValueRollback<bool> busyGuard(m_linkBusy, true);
    while (m_port && m_port->bytesAvailable() > 0) {
        const QStringList lines = m_lines.feed(m_port->readAll());
        for (const QString &line : lines)
            handleLine(line);
    }
}

bool NodeInterface::takeDropRequest()
{
    QMutexLocker lock(&m_handOff);
    return std::exchange(m_dropRequested, false);
}

void NodeInterface::handleLine(const QString &line)
{
    if (takeDropRequest())
        m_current.reset();
    if (m_current) {
        if (!m_current->isTimedOut()) {
            m_current->parseReply(line);
            return;
        }
        qInfo("timed out");
        emit busy(false);
        m_current.reset();
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
    if (m_port) {
        m_port->write(kWakeLine);
        m_port->waitForBytesWritten(NodeCommand::kWriteWaitMs);
    }
    QThread::msleep(kAfterWakePauseMs);
    NodeCommand *command = startReadCommand(std::make_unique<NodeCMDconfig>(m_port.get()));
    connect(static_cast<NodeCMDconfig *>(command), &NodeCMDconfig::updateConfig, this, &NodeInterface::updateConfig);
}
