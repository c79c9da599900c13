#include "benchsetup.h"

#include "commissioningprofile.h"
#include "journalforwarder.h"
#include "protectedfieldcipher.h"
#include "registrationoutbox.h"
#include "serversession.h"

#include <QDir>
#include <QFileInfo>

namespace {
QString outboxPathFor(const QString &journalPath)
{
    if (journalPath.isEmpty())
        return RegistrationOutbox::defaultFilePath();
    return QFileInfo(journalPath).absoluteDir().filePath(QLatin1String(RegistrationOutbox::kFileName));
}
} // namespace

BenchSetup::BenchSetup(const QString &journalPath, const Pacing &pacing)
    : benchPacing(pacing)
    , commissioningJournal(journalPath.isEmpty() ? CommissioningJournal::defaultFilePath() : journalPath)
    , registrationOutbox(std::make_unique<RegistrationOutbox>(outboxPathFor(journalPath), pacing))
{
    journalPermissions = commissioningJournal.tightenPermissions();
    // Every entry names the node key the bench reads nodes with, whichever program wrote it.
    commissioningJournal.setKeyFingerprint(ProtectedFieldCipher::keyFingerprint());
    serverSession = std::make_unique<ServerSession>(
        &commissioningJournal, registrationOutbox->isOpen() ? registrationOutbox.get() : nullptr, pacing);
}

BenchSetup::~BenchSetup()
{
    journalForwarder.reset();
    // The server session uses the outbox and the journal until it is gone.
    serverSession.reset();
    registrationOutbox.reset();
}

JournalForwarder &BenchSetup::startForwarding(const DatabaseAddress &address, const QString &password)
{
    journalForwarder.reset();
    journalForwarder = std::make_unique<JournalForwarder>(
        commissioningJournal.filePath(), address, password, commissioningJournal.bench());
    journalForwarder->start();
    return *journalForwarder;
}

void BenchSetup::stopForwarding()
{
    journalForwarder.reset();
}

QString BenchSetup::checkedAddress(const QString &typed, QString *problem)
{
    const QString address = ServerSession::normalisedAddress(typed);
    if (problem)
        *problem = ServerSession::addressProblem(address);
    return address;
}

std::shared_ptr<const CommissioningProfile> BenchSetup::loadProfile(const QString &path, QString *error)
{
    std::optional<CommissioningProfile> loaded = CommissioningProfile::load(path, error);
    if (!loaded)
        return nullptr;
    return std::make_shared<const CommissioningProfile>(std::move(*loaded));
}
