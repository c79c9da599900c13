#include "commissioner.h"

#include "benchsetup.h"
#include "commandline.h"
#include "commissioningjournal.h"
#include "commissioningprofile.h"
#include "journalforwarder.h"
#include "labelpdf.h"
#include "nodelabel.h"
#include "passwordprompt.h"
#include "registrationoutbox.h"
#include "serversession.h"
#include "shareddatabase.h"
#include "unitrecords.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {
const char kProgramName[] = "iot-commission-cli";
const char kUsage[] = "usage: iot-commission-cli commission --port PORT [--port PORT ...] --server URL --user NAME "
                      "[--profile FILE] [--register] [--sleep] [--count N | --loop] [--json] [--journal FILE] "
                      "[--lot NAME] [--ca-file FILE] [--database URL [--allow-reregister]] "
                      "[--print-label [--printer NAME]] [--label-pdf DIR] [--label-size WxH] [--verbose]";
// How long lp is given to hand a label to the printing system.
constexpr int kPrintCommandMs = 10000;
// A trusted CA file is a handful of PEM certificates; anything larger is not one.
constexpr qint64 kMaxCaFileBytes = 1024 * 1024;

void printLine(FILE *stream, const QString &text)
{
    std::fputs(qPrintable(text), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The commission command's help: its full usage line in place of Qt's generic one, then every option.
QString commissionHelp(const QCommandLineParser &parser)
{
    const QString text = parser.helpText();
    return QLatin1String(kUsage) + QLatin1Char('\n') + text.mid(text.indexOf(QLatin1Char('\n')));
}

QString generalHelp()
{
    return QLatin1String(kUsage)
        + QStringLiteral("\n\nCommissions lock sensor nodes on one or more serial ports.\n\n"
                         "Commands:\n"
                         "  commission     Reads, writes, registers and puts to sleep the nodes that boot on the\n"
                         "                 given ports.\n\n"
                         "Options:\n"
                         "  -h, --help     Displays this help.\n"
                         "  -v, --version  Displays version information.\n\n"
                         "\"iot-commission-cli commission --help\" lists the options of the commission command.");
}

// The trusted CA file as the window's setting takes it, but read only when it is a regular file of a sane size:
// a FIFO or a device would hang or flood the start. Empty when it can be used, else why not.
QString caFileProblem(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("--ca-file %1: no such file").arg(path);
    if (!info.isFile())
        return QStringLiteral("--ca-file %1: not a regular file").arg(path);
    if (info.size() > kMaxCaFileBytes)
        return QStringLiteral("--ca-file %1: larger than %2 bytes").arg(path).arg(kMaxCaFileBytes);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("--ca-file %1: %2").arg(path, file.errorString());
    if (QSslCertificate::fromData(file.read(kMaxCaFileBytes), QSsl::Pem).isEmpty())
        return QStringLiteral("--ca-file %1: holds no PEM certificate").arg(path);
    return QString();
}
} // namespace

Commissioner::Commissioner(QObject *parent)
    : QObject(parent)
{
}

Commissioner::~Commissioner()
{
    // The stations (and their link threads) go before the server session and journal they use.
    qDeleteAll(stations);
    stations.clear();
}

int Commissioner::usageError(const QString &message)
{
    CommandLine::say(kProgramName, message);
    printLine(stderr, QLatin1String(kUsage));
    return kExitUsage;
}

int Commissioner::configure(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Reads, writes, registers and puts to sleep the nodes that boot on the given ports."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"), QStringLiteral("Serial port (repeatable)."), QStringLiteral("port"));
    const QCommandLineOption serverOption(
        QStringLiteral("server"), QStringLiteral("Registration server URL."), QStringLiteral("url"));
    const QCommandLineOption userOption(
        QStringLiteral("user"), QStringLiteral("User name at the server."), QStringLiteral("name"));
    const QCommandLineOption profileOption = CommandLine::profileOption(QStringLiteral("Commissioning profile."));
    const QCommandLineOption registerOption(QStringLiteral("register"), QStringLiteral("Register each node."));
    const QCommandLineOption sleepOption(
        QStringLiteral("sleep"), QStringLiteral("Put each node to sleep once everything before succeeded."));
    const QCommandLineOption countOption(
        QStringLiteral("count"), QStringLiteral("Stop after N nodes (default 1)."), QStringLiteral("N"));
    const QCommandLineOption loopOption(QStringLiteral("loop"), QStringLiteral("Never stop (Ctrl-C ends)."));
    const QCommandLineOption jsonOption(QStringLiteral("json"), QStringLiteral("One JSON object per node."));
    const QCommandLineOption journalOption
        = CommandLine::journalOption(QStringLiteral("Journal file (default: the tool's journal)."));
    const QCommandLineOption lotOption
        = CommandLine::lotOption(QStringLiteral("Production lot; every journal entry carries it, as in the window."));
    const QCommandLineOption caFileOption(QStringLiteral("ca-file"),
        QStringLiteral("PEM file of a private certificate authority the server's certificate is checked against "
                       "(besides the system's)."),
        QStringLiteral("file"));
    const QCommandLineOption benchOption(QStringLiteral("bench"),
        QStringLiteral("The bench's name in the journal and the unit records (default: the host name)."),
        QStringLiteral("name"));
    const QCommandLineOption databaseOption = CommandLine::databaseOption(
        QStringLiteral("Shared database the journal is forwarded to, postgresql://user@host:port/dbname[?sslmode=MODE] "
                       "(password from PGPASSWORD, ~/.pgpass, or asked)."));
    const QCommandLineOption allowReregisterOption(QStringLiteral("allow-reregister"),
        QStringLiteral("Register a node that another bench registered already (see --database)."));
    const QCommandLineOption printLabelOption(QStringLiteral("print-label"),
        QStringLiteral("Print the label of each node that went through (CUPS, the default printer unless --printer)."));
    const QCommandLineOption printerOption(
        QStringLiteral("printer"), QStringLiteral("The printer for --print-label."), QStringLiteral("name"));
    const QCommandLineOption labelPdfOption(QStringLiteral("label-pdf"),
        QStringLiteral("Write the label of each node that went through to DIR/<DevEUI or SigFox ID>.pdf."),
        QStringLiteral("dir"));
    const QCommandLineOption labelSizeOption(QStringLiteral("label-size"),
        QStringLiteral("The label's width and height in millimetres (default 50x30)."), QStringLiteral("WxH"));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"), QStringLiteral("Also print the tool's debug lines on standard error."));
    parser.addOptions({portOption, serverOption, userOption, profileOption, registerOption, sleepOption, countOption,
        loopOption, jsonOption, journalOption, lotOption, caFileOption, benchOption, databaseOption,
        allowReregisterOption, printLabelOption, printerOption, labelPdfOption, labelSizeOption, verboseOption});

    if (!parser.parse(arguments))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        const bool commandNamed = parser.positionalArguments() == QStringList{QStringLiteral("commission")};
        printLine(stdout, commandNamed ? commissionHelp(parser) : generalHelp());
        return kExitSuccess;
    }
    if (parser.isSet(versionOption)) {
        printLine(stdout, QLatin1String(kProgramName) + QLatin1Char(' ') + QCoreApplication::applicationVersion());
        return kExitSuccess;
    }
    // The engine's debug and information lines go to standard error only when asked for; a logging
    // configuration given in the environment decides for itself.
    if (!parser.isSet(verboseOption) && !qEnvironmentVariableIsSet("QT_LOGGING_RULES"))
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    if (parser.positionalArguments() != QStringList{QStringLiteral("commission")})
        return usageError(QStringLiteral("the command is \"commission\""));

    ports = parser.values(portOption);
    allowReregister = parser.isSet(allowReregisterOption);
    // Qt's serial port puts "/dev/" before a name that does not start with "/": a bare "ttyUSB0" means
    // /dev/ttyUSB0, but a path relative to the working directory ("run/ttyD") would never be found.
    for (QString &port : ports) {
        if (port.contains(QLatin1Char('/')) && QFileInfo(port).isRelative())
            port = QFileInfo(port).absoluteFilePath();
    }
    serverUrl = parser.value(serverOption);
    userName = parser.value(userOption);
    profilePath = parser.value(profileOption);
    journalPath = parser.value(journalOption);
    registerNodes = parser.isSet(registerOption);
    sleepNodes = parser.isSet(sleepOption);
    json = parser.isSet(jsonOption);
    loop = parser.isSet(loopOption);
    const QString lot = parser.value(lotOption).trimmed();
    const QString benchName = parser.value(benchOption);
    const QString caFile = parser.value(caFileOption);
    if (parser.isSet(caFileOption)) {
        const QString problem = caFileProblem(caFile);
        if (!problem.isEmpty())
            return usageError(problem);
    }
    if (ports.isEmpty())
        return usageError(QStringLiteral("at least one --port is needed"));
    if (ports.removeDuplicates() > 0)
        return usageError(QStringLiteral("a port is named twice"));
    if (serverUrl.isEmpty() || userName.isEmpty())
        return usageError(QStringLiteral("--server and --user are needed"));
    QString addressProblem;
    serverUrl = BenchSetup::checkedAddress(serverUrl, &addressProblem);
    if (!addressProblem.isEmpty())
        return usageError(addressProblem);
    if (loop && parser.isSet(countOption))
        return usageError(QStringLiteral("--count and --loop exclude each other"));
    if (parser.isSet(countOption)) {
        bool ok = false;
        count = parser.value(countOption).toInt(&ok);
        if (!ok || count < 1)
            return usageError(QStringLiteral("--count takes a whole number from 1"));
    }
    DatabaseAddress database;
    if (parser.isSet(databaseOption)) {
        QString problem;
        database = DatabaseAddress::parse(parser.value(databaseOption), &problem);
        if (!database.isValid())
            return usageError(QStringLiteral("--database: ") + problem);
    }
    printLabels = parser.isSet(printLabelOption);
    printerName = parser.value(printerOption);
    if (parser.isSet(printerOption) && !printLabels)
        return usageError(QStringLiteral("--printer is for --print-label"));
    labelDirectory = parser.value(labelPdfOption);
    if (parser.isSet(labelPdfOption) && !QFileInfo(labelDirectory).isDir())
        return usageError(QStringLiteral("--label-pdf %1: not a directory").arg(labelDirectory));
    labelWidthMm = NodeLabel::kDefaultWidthMm;
    labelHeightMm = NodeLabel::kDefaultHeightMm;
    if (parser.isSet(labelSizeOption)) {
        static const QRegularExpression size(QStringLiteral("^(\\d+(?:\\.\\d+)?)[xX](\\d+(?:\\.\\d+)?)$"));
        const QRegularExpressionMatch found = size.match(parser.value(labelSizeOption));
        labelWidthMm = found.captured(1).toDouble();
        labelHeightMm = found.captured(2).toDouble();
        if (!found.hasMatch() || labelWidthMm < NodeLabel::kMinWidthMm || labelWidthMm > NodeLabel::kMaxWidthMm
            || labelHeightMm < NodeLabel::kMinHeightMm || labelHeightMm > NodeLabel::kMaxHeightMm) {
            return usageError(QStringLiteral("--label-size takes WxH in millimetres, from %1x%2 to %3x%4")
                                  .arg(NodeLabel::kMinWidthMm)
                                  .arg(NodeLabel::kMinHeightMm)
                                  .arg(NodeLabel::kMaxWidthMm)
                                  .arg(NodeLabel::kMaxHeightMm));
        }
    }
    QString error;
    if (!PasswordPrompt::obtain(&password, &error))
        return usageError(error);
    // Asked once for this run, never kept; without a terminal libpq's refusal says what is missing.
    QString databasePassword;
    if (database.isValid() && !SharedDatabase::passwordFromEnvironment())
        PasswordPrompt::ask("Password for the shared database: ", &databasePassword);

    std::shared_ptr<const CommissioningProfile> profile;
    if (!profilePath.isEmpty()) {
        profile = BenchSetup::loadProfile(profilePath, &error);
        if (!profile)
            return usageError(error);
    }
    labelProfile = profile;

    // The journal's entries as the window writes them: the lot being commissioned and the fingerprint of the
    // node key; the outbox beside the journal.
    bench = std::make_unique<BenchSetup>(journalPath);
    bench->journal().setLot(lot);
    bench->journal().setBench(benchName);
    // The user named here is the operator of every unit of the run, also of a node read before the login.
    bench->journal().setOperatorName(userName);
    runStartMsecs = QDateTime::currentMSecsSinceEpoch();
    if (database.isValid())
        bench->startForwarding(database, databasePassword);
    outbox = &bench->outbox();
    // Before any node is touched: registrations that may be stranded in an unreadable outbox are the operator's
    // to recover first (the file was kept; the next run starts with the fresh outbox).
    if (!outbox->recoveryNote().isEmpty()) {
        CommandLine::say(kProgramName, QStringLiteral("the registration outbox ") + outbox->recoveryNote());
        return kExitStorageFailed;
    }
    if (!outbox->isOpen()) {
        CommandLine::say(
            kProgramName, QStringLiteral("the registration outbox cannot be used: ") + outbox->errorText());
        return kExitStorageFailed;
    }
    for (const QString &problem : {outbox->permissionProblem(), bench->journalPermissionProblem()}) {
        if (!problem.isEmpty())
            CommandLine::say(kProgramName, QStringLiteral("warning: ") + problem);
    }
    server = &bench->server();
    server->setServerAddress(serverUrl);
    if (!caFile.isEmpty() && !server->setCaCertificateFile(caFile))
        return usageError(QStringLiteral("--ca-file %1: holds no certificate that can be used").arg(caFile));
    connect(server, &ServerSession::becameIdle, this, &Commissioner::maybeFinish);
    connect(server, &ServerSession::storageProblem, this,
        [](const QString &text) { CommandLine::say(kProgramName, text); });
    waitingLoginPause = new QTimer(this);
    waitingLoginPause->setSingleShot(true);
    connect(waitingLoginPause, &QTimer::timeout, this, &Commissioner::logInForWaiting);
    connect(server, &ServerSession::waitingChanged, this, &Commissioner::logInForWaiting);
    connect(server, &ServerSession::loginFinished, this, [this](ServerSession::LoginOutcome outcome) {
        if (outcome == ServerSession::LoginOutcome::CredentialsRefused)
            credentialsRefused = true;
        waitingLogins = outcome == ServerSession::LoginOutcome::Granted ? 0 : waitingLogins;
        // A login that did not get through is tried again after the pause, if anything still waits for one.
        if (outcome != ServerSession::LoginOutcome::Granted && !waitingLoginPause->isActive())
            waitingLoginPause->start(int(RegistrationOutbox::retryDelayMs(bench->pacing(), waitingLogins, -1, 0.0)));
    });

    StationRunner::Options options;
    options.registerNodes = registerNodes;
    options.sleepNodes = sleepNodes;
    options.userName = userName;
    options.password = password;
    options.waitForReturningPort = loop;
    options.sharedDatabase = bench->forwarder();
    options.allowReregister = allowReregister;
    for (const QString &port : qAsConst(ports)) {
        auto *station = new StationRunner(port, server, &bench->journal(), profile, options, bench->pacing());
        connect(station, &StationRunner::nodeDone, this, &Commissioner::nodeDone);
        connect(station, &StationRunner::progress, this, [](const QString &text) { printLine(stderr, text); });
        connect(station, &StationRunner::portFailed, this, &Commissioner::portFailed);
        stations.append(station);
    }
    return -1;
}

void Commissioner::start()
{
    // Registrations an earlier run left waiting go out with this run's login, without waiting for a node.
    logInForWaiting();
    for (StationRunner *station : qAsConst(stations))
        station->start();
}

void Commissioner::logInForWaiting()
{
    if (!registerNodes || stopping || credentialsRefused || waitingLoginPause->isActive())
        return;
    if (server->isLoggingIn() || !server->waitsForLogin())
        return;
    ++waitingLogins;
    waitingLoginPause->start(int(RegistrationOutbox::retryDelayMs(bench->pacing(), waitingLogins, -1, 0.0)));
    CommandLine::say(kProgramName,
        QStringLiteral("%1 registration(s) waiting in the outbox, logging in to send them")
            .arg(server->waitingCount()));
    server->setCredentials(userName, password);
    server->logIn();
}

void Commissioner::interrupt()
{
    if (interrupted)
        return;
    interrupted = true;
    CommandLine::say(kProgramName, QStringLiteral("stopping once the nodes in progress are done"));
    stopAll();
    // Nothing more leaves; whatever the outbox is doing, the run ends after the grace.
    server->stop();
    QTimer::singleShot(kStopGraceMs, this, [this] {
        graceOver = true;
        maybeFinish();
    });
    maybeFinish();
}

void Commissioner::nodeDone(const StationRunner::NodeReport &report)
{
    ++done;
    if (!report.error.isEmpty())
        worstOutcome = qMax(worstOutcome, kExitNodeFailed);
    printReport(report, report.error.isEmpty() ? makeLabel(report) : QJsonObject());
    if (!loop && done >= count)
        stopAll();
    maybeFinish();
}

void Commissioner::portFailed(const QString &name, const QString &reason, bool wasOpen)
{
    if (!wasOpen) {
        // A port named on the command line that cannot be opened is a wrong argument: no further node is taken
        // anywhere, and what is in progress elsewhere is seen through.
        CommandLine::say(kProgramName, QStringLiteral("cannot open %1: %2").arg(name, reason));
        worstOutcome = kExitUsage;
        stopAll();
    } else {
        // A node unplugged, or one that hung up: only this port's work ends, the other ports go on.
        CommandLine::say(
            kProgramName, QStringLiteral("%1 went away (%2); no further node is taken there").arg(name, reason));
        const bool portLeft = std::any_of(
            stations.cbegin(), stations.cend(), [](const StationRunner *station) { return !station->isGone(); });
        if (!portLeft && !stopping) {
            CommandLine::say(kProgramName, QStringLiteral("no port is left for the remaining nodes"));
            worstOutcome = kExitUsage;
            stopAll();
        }
    }
    maybeFinish();
}

void Commissioner::stopAll()
{
    stopping = true;
    for (StationRunner *station : qAsConst(stations))
        station->stop();
}

void Commissioner::maybeFinish()
{
    if (!stopping || ended)
        return;
    // A node already written to, registered or asked to sleep is seen through; one only being read is left.
    // After an interruption's grace, a node waits no longer for the server's answer or for its restart.
    for (StationRunner *station : qAsConst(stations)) {
        if (station->isCommitted() && !(graceOver && (station->isWaitingForServer() || station->isWaitingForRestart())))
            return;
    }
    // Registrations still on the wire or in line (the outbox's retries sent after the login included) are
    // answered before the program ends, so that none is cut off half-way; after an interruption only for the
    // grace.
    if (!server->isIdle() && !graceOver)
        return;
    // A node that was changed and is not done (interrupted while it restarts, say) has no report line: say so.
    for (StationRunner *station : qAsConst(stations)) {
        if (station->isCommitted()) {
            CommandLine::say(
                kProgramName, QStringLiteral("%1: the node in progress was left unfinished").arg(station->port()));
            worstOutcome = qMax(worstOutcome, kExitNodeFailed);
        }
    }
    const QStringList unrecorded = server->unrecorded();
    if (!unrecorded.isEmpty()) {
        CommandLine::say(
            kProgramName, QStringLiteral("not recorded in the outbox: ") + unrecorded.join(QStringLiteral("; ")));
        worstOutcome = qMax(worstOutcome, kExitStorageFailed);
    }
    end(worstOutcome);
}

void Commissioner::end(int exitCode)
{
    if (ended)
        return;
    ended = true;
    server->stop();
    // The journal holds every entry whatever the database does; what it did not take is sent by a later run.
    if (JournalForwarder *forwarder = bench ? bench->forwarder() : nullptr; forwarder && !forwarder->sendNow())
        CommandLine::say(kProgramName,
            QStringLiteral("%1 — %2 entries waiting; a later run with --database sends them")
                .arg(forwarder->problem())
                .arg(forwarder->waiting()));
    emit finished(exitCode);
}

QJsonValue Commissioner::unitRecordFor(const QString &port) const
{
    // The record is derived from the whole journal, as a supervisor's export derives it later: the same attempt
    // number, counted over the runs before this one. Only a unit read during this run is this node's.
    QFile file(bench->journal().filePath());
    if (!file.open(QIODevice::ReadOnly))
        return QJsonValue::Null;
    const QVector<UnitRecord> records = UnitRecords::fromLines(file.readAll().split('\n'));
    for (auto it = records.crbegin(); it != records.crend(); ++it) {
        if (it->port == port && it->startMsecs >= runStartMsecs)
            return it->toJson();
    }
    return QJsonValue::Null;
}

QJsonObject Commissioner::makeLabel(const StationRunner::NodeReport &report)
{
    QJsonObject outcome;
    if (!printLabels && labelDirectory.isEmpty())
        return outcome;
    const Node &node = report.node;
    const ProfileEntry *entry = labelProfile ? labelProfile->entryFor(node) : nullptr;
    QString error;
    const std::optional<NodeLabel> label = NodeLabel::forNode(
        node, entry ? entry->labelProfileId : QString(), bench->journal().lot(), QDate::currentDate(), &error);
    CommissioningJournal &journal = bench->journal();
    const auto done = [&](const char *key, const QString &target, const QString &failure) {
        journal.recordLabelPrinted(node.identity(), node.isSigfox(), target, failure);
        if (failure.isEmpty()) {
            outcome.insert(QLatin1String(key), target);
        } else {
            outcome.insert(QLatin1String(key), QJsonValue::Null);
            const QString said = QLatin1String(key) == QLatin1String("pdf") ? QStringLiteral("label PDF not written: ")
                                                                            : QStringLiteral("label not printed: ");
            // A PDF and a printout may both fail, each for its own reason.
            const QString earlier = outcome.value(QStringLiteral("error")).toString();
            outcome.insert(
                QStringLiteral("error"), earlier.isEmpty() ? failure : earlier + QStringLiteral("; ") + failure);
            CommandLine::say(kProgramName, report.port + QStringLiteral(": ") + said + failure);
        }
    };
    if (!label) {
        done(labelDirectory.isEmpty() ? "printer" : "pdf", QString(), error);
        return outcome;
    }
    const NodeLabel::Layout layout = label->layout(labelWidthMm, labelHeightMm);
    if (!labelDirectory.isEmpty()) {
        const QString path = QDir(labelDirectory).absoluteFilePath(label->fileBaseName() + QStringLiteral(".pdf"));
        done("pdf", path, LabelPdf::write(layout, path, &error) ? QString() : error);
    }
    if (printLabels) {
        const QString target = printerName.isEmpty() ? QStringLiteral("default printer") : printerName;
        QTemporaryDir directory;
        const QString path = directory.filePath(label->fileBaseName() + QStringLiteral(".pdf"));
        if (!directory.isValid() || !LabelPdf::write(layout, path, &error))
            done("printer", target, directory.isValid() ? error : directory.errorString());
        else
            done("printer", target, printPdf(path, label->fileBaseName()));
    }
    return outcome;
}

QString Commissioner::printPdf(const QString &pdfPath, const QString &title) const
{
    QStringList arguments;
    if (!printerName.isEmpty())
        arguments << QStringLiteral("-d") << printerName;
    arguments << QStringLiteral("-t") << title << QStringLiteral("--") << pdfPath;
    QProcess lp;
    lp.setProcessChannelMode(QProcess::MergedChannels);
    lp.start(QStringLiteral("lp"), arguments);
    if (!lp.waitForStarted())
        return QStringLiteral("lp (CUPS) cannot be started: ") + lp.errorString();
    if (!lp.waitForFinished(kPrintCommandMs)) {
        lp.kill();
        lp.waitForFinished();
        return QStringLiteral("lp (CUPS) did not answer");
    }
    const QString said = QString::fromLocal8Bit(lp.readAll()).trimmed();
    if (lp.exitStatus() != QProcess::NormalExit || lp.exitCode() != 0)
        return said.isEmpty() ? QStringLiteral("lp (CUPS) failed with exit code %1").arg(lp.exitCode()) : said;
    return QString();
}

void Commissioner::printReport(const StationRunner::NodeReport &report, const QJsonObject &label)
{
    if (json) {
        QJsonObject object;
        object.insert(QStringLiteral("port"), report.port);
        object.insert(QStringLiteral("type"), report.type);
        object.insert(QStringLiteral("identifier"), report.identifier);
        object.insert(QStringLiteral("nodeVersion"), report.nodeVersion);
        object.insert(QStringLiteral("written"), QJsonArray::fromStringList(report.written));
        object.insert(QStringLiteral("verified"), report.verified);
        bool numeric = false;
        const int status = report.registration.toInt(&numeric);
        if (report.registration.isEmpty())
            object.insert(QStringLiteral("registration"), QJsonValue::Null);
        else if (numeric)
            object.insert(QStringLiteral("registration"), status);
        else
            object.insert(QStringLiteral("registration"), report.registration); // "waiting" or a failure's name
        object.insert(QStringLiteral("sleeping"), report.sleeping);
        object.insert(QStringLiteral("error"), report.error.isEmpty() ? QJsonValue() : QJsonValue(report.error));
        if (!label.isEmpty())
            object.insert(QStringLiteral("label"), label);
        object.insert(QStringLiteral("unit"), unitRecordFor(report.port));
        printLine(stdout, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
        return;
    }
    QStringList parts{report.port, report.type.isEmpty() ? QStringLiteral("-") : report.type,
        report.identifier.isEmpty() ? QStringLiteral("-") : report.identifier};
    parts << (report.written.isEmpty() ? QStringLiteral("nothing written")
                                       : QStringLiteral("wrote ") + report.written.join(QLatin1Char(',')));
    if (!report.written.isEmpty())
        parts << (report.verified ? QStringLiteral("verified") : QStringLiteral("not verified"));
    if (!report.registration.isEmpty())
        parts << QStringLiteral("registration ") + report.registration;
    if (report.sleeping)
        parts << QStringLiteral("sleeping");
    if (label.contains(QLatin1String("pdf")) && !label.value(QLatin1String("pdf")).isNull())
        parts << QStringLiteral("label ") + label.value(QLatin1String("pdf")).toString();
    if (label.contains(QLatin1String("printer")) && !label.value(QLatin1String("printer")).isNull())
        parts << QStringLiteral("label printed");
    if (label.contains(QLatin1String("error")))
        parts << QStringLiteral("label FAILED: ") + label.value(QLatin1String("error")).toString();
    parts << (report.error.isEmpty() ? QStringLiteral("OK") : QStringLiteral("FAILED: ") + report.error);
    printLine(stdout, parts.join(QStringLiteral("  ")));
}
