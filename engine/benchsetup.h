#pragma once

#include "commissioningjournal.h"
#include "databaseaddress.h"
#include "pacing.h"

#include <QString>

#include <memory>

class CommissioningProfile;
class JournalForwarder;
class RegistrationOutbox;
class ServerSession;

// What the stations of one bench share, built the same way for the window and for the command line: the
// commissioning journal (its entries carrying the lot and the fingerprint of the node key), the registration
// outbox beside it, and the server session that registers through both. The pacing is kept for what is built
// with it.
class BenchSetup
{
public:
    // `journalPath` empty: the tool's own journal and outbox in its data directory; else that journal, with the
    // outbox in the same directory.
    explicit BenchSetup(const QString &journalPath = QString(), const Pacing &pacing = Pacing());
    ~BenchSetup();
    BenchSetup(const BenchSetup &) = delete;
    BenchSetup &operator=(const BenchSetup &) = delete;

    CommissioningJournal &journal() { return commissioningJournal; }
    RegistrationOutbox &outbox() { return *registrationOutbox; }
    // Registers through the outbox when it could be opened, else directly.
    ServerSession &server() { return *serverSession; }
    const Pacing &pacing() const { return benchPacing; }
    // Starts forwarding the journal to the shared database, as the bench named in the journal (set the bench's
    // name first). `password` empty: libpq's own sources. Replaces a forwarder started before.
    JournalForwarder &startForwarding(const DatabaseAddress &address, const QString &password);
    void stopForwarding();
    // The forwarder to the shared database, or null when none is configured.
    JournalForwarder *forwarder() { return journalForwarder.get(); }
    // Why the journal could not be made readable by its owner only when the bench was set up; empty when it is.
    QString journalPermissionProblem() const { return journalPermissions; }

    // A server address as the operator typed it, in the form the tool uses (a bare host name is an http://
    // one); `*problem` says why it cannot be used, empty when it can.
    static QString checkedAddress(const QString &typed, QString *problem);
    // The profile at `path`, or null with `*error` saying why it cannot be used.
    static std::shared_ptr<const CommissioningProfile> loadProfile(const QString &path, QString *error);

private:
    Pacing benchPacing;
    CommissioningJournal commissioningJournal;
    QString journalPermissions;
    std::unique_ptr<RegistrationOutbox> registrationOutbox;
    std::unique_ptr<ServerSession> serverSession;
    std::unique_ptr<JournalForwarder> journalForwarder;
};
