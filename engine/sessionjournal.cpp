#include "sessionjournal.h"

#include "labelcode.h"

#include <QCoreApplication>

#include <utility>

namespace {
// The journal's word for why a write failed, so that a supervisor can tell a cable from a refused value.
QString failureReason(CommandFailure failure)
{
    switch (failure) {
    case CommandFailure::NoPort:
        return QLatin1String(CommissioningJournal::kReasonNoPort);
    case CommandFailure::Refused:
        return QLatin1String(CommissioningJournal::kReasonRefused);
    case CommandFailure::InvalidValue:
        return QLatin1String(CommissioningJournal::kReasonInvalidValue);
    case CommandFailure::Interrupted:
        return QLatin1String(CommissioningJournal::kReasonInterrupted);
    case CommandFailure::None:
        break;
    }
    return QString();
}
} // namespace

SessionJournal::SessionJournal(CommissioningJournal *journal, QObject *parent)
    : QObject(parent)
    , journal(journal)
{
}

void SessionJournal::setProfile(const QString &name, const QString &sha256)
{
    profileName = name;
    profileSha256 = sha256;
}

void SessionJournal::nodeRead(const QString &port, const Node &node)
{
    present = node;
    presentPort = port;
    if (journal) {
        journal->recordNodeRead(port, node, profileName, profileSha256);
        check();
    }
}

void SessionJournal::profileCompared(
    const Node &node, const QList<CommissioningJournal::ProfileDifference> &differences)
{
    if (journal) {
        journal->recordProfileCompared(node, profileName, differences.toVector());
        check();
    }
}

void SessionJournal::nodeLeft(const char *reason)
{
    if (!present)
        return;
    const Node node = *std::exchange(present, std::nullopt);
    if (journal) {
        journal->recordNodeLeft(presentPort, node, QLatin1String(reason));
        check();
    }
}

void SessionJournal::notConfigured(const Node &node, const char *reason)
{
    if (journal) {
        journal->recordNotConfigured(node, QLatin1String(reason));
        check();
    }
}

void SessionJournal::firmwareTooOld(const Node &node, const QString &minNodeVersion)
{
    if (journal) {
        journal->recordFirmwareTooOld(node, minNodeVersion);
        check();
    }
}

void SessionJournal::verified(const Node &node, const QList<WriteVerification::Mismatch> &mismatches)
{
    if (!journal)
        return;
    QVector<CommissioningJournal::Mismatch> recorded;
    for (const WriteVerification::Mismatch &mismatch : mismatches)
        recorded.append({mismatch.field, mismatch.writtenText, mismatch.readText});
    journal->recordVerified(node, mismatches.isEmpty(), recorded);
    check();
}

void SessionJournal::labelChecked(const Node &node, const LabelCode &code, bool matches)
{
    if (!journal)
        return;
    QMap<QString, QString> fields{{QStringLiteral("identifier"), code.identifier()}};
    if (code.kind() == LabelCode::LoRaQrCode) {
        fields.insert(QStringLiteral("joinEui"), code.joinEui());
        fields.insert(QStringLiteral("profileId"), code.profileId());
        if (!code.extraFields().isEmpty())
            fields.insert(QStringLiteral("extra"), code.extraFields().join(QLatin1Char(':')));
    }
    journal->recordLabelChecked(node, fields, matches);
    check();
}

void SessionJournal::nodeSleeping(const Node &node)
{
    present.reset();
    if (journal) {
        journal->recordNodeSleeping(node);
        check();
    }
}

void SessionJournal::keyMismatch(const QString &port)
{
    present.reset();
    if (journal) {
        journal->recordKeyMismatch(port, profileName, profileSha256);
        check();
    }
}

void SessionJournal::writeAsked(WriteKind kind, const Node &node, int flags)
{
    openWrites.append({kind, node, flags});
}

void SessionJournal::writeEnded(CommandResult result, CommandFailure failure)
{
    if (openWrites.isEmpty())
        return;
    const OpenWrite write = openWrites.takeFirst();
    if (!journal)
        return;
    const QString reason = result == CommandResult::Failed ? failureReason(failure) : QString();
    const int code = static_cast<int>(result);
    switch (write.kind) {
    case WriteKind::Settings:
        journal->recordSettingsWritten(write.node, write.flags, code, reason);
        break;
    case WriteKind::DeviceId:
        journal->recordDeviceIdWritten(write.node, code, reason);
        break;
    case WriteKind::SigfoxData:
        journal->recordSigfoxDataWritten(write.node, code, reason);
        break;
    }
    check();
}

QString SessionJournal::keyFingerprint() const
{
    return journal ? journal->keyFingerprint() : QString();
}

void SessionJournal::check()
{
    const QString problem = journal->lastError();
    if (problem.isEmpty()) {
        problemReported = false;
        return;
    }
    if (problemReported)
        return;
    problemReported = true;
    // The station's texts share one translation context, whichever part of it says them.
    emit recordingFailed(
        QCoreApplication::translate("CommissioningSession", "The commissioning journal cannot be written: ") + problem);
}
