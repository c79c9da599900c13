#include "logincoordinator.h"

#include <QCoreApplication>

namespace {
// The station's texts share one translation context, whichever part of it says them.
QString text(const char *source)
{
    return QCoreApplication::translate("CommissioningSession", source);
}
const char kLoginTitle[] = QT_TRANSLATE_NOOP("CommissioningSession", "ORVA login");
const char kNeedLogin[] = QT_TRANSLATE_NOOP("CommissioningSession", "You need to log in");
const char kIncorrect[] = QT_TRANSLATE_NOOP("CommissioningSession", "Incorrect Credentials");
} // namespace

LoginCoordinator::LoginCoordinator(ServerSession *server, QObject *parent)
    : QObject(parent)
    , server(server)
{
}

LoginCoordinator::Start LoginCoordinator::need(Purpose purpose)
{
    wanted = purpose;
    if (server->isLoggingIn())
        return Start::UnderWay;
    if (server->hasCredentials()) {
        server->logIn();
        return Start::Requested;
    }
    if (!server->isConfigured()) {
        emit notice(true, text(kLoginTitle),
            QCoreApplication::translate("CommissioningSession", "Please configure the ORVA server"), QString());
        return Start::Impossible;
    }
    askingAgain = false;
    return Start::Asked;
}

bool LoginCoordinator::asksAgainAfter(End end) const
{
    const bool nodeWaits = wanted == Purpose::Register || (wanted == Purpose::ShowNode && held);
    return end == End::Refused && asksAgain && nodeWaits;
}

bool LoginCoordinator::keepsNodeAfter(End end) const
{
    // The server, not the operator, is at fault: the node read is kept.
    return end == End::Failed && wanted == Purpose::ShowNode && held;
}

LoginCoordinator::Purpose LoginCoordinator::granted()
{
    problemText.clear();
    askingAgain = false;
    return std::exchange(wanted, Purpose::None);
}

void LoginCoordinator::askAgain(const QString &detail)
{
    // A mistyped password costs no reset: the node read (or the registration) waits while the credentials are
    // asked for again, until a login is held or the operator cancels.
    emit notice(true, text(kLoginTitle), text(kIncorrect), detail);
    askingAgain = true;
}

void LoginCoordinator::end(End end, ServerSession::LoginOutcome outcome, const QString &detail)
{
    const bool keep = keepsNodeAfter(end);
    const Purpose purpose = std::exchange(wanted, Purpose::None);
    askingAgain = false;
    const bool failed = end == End::Refused || end == End::Failed;
    const QString why = failed ? describeFailure(outcome, detail) : QString();
    if (purpose == Purpose::Register) {
        if (failed)
            emit notice(true, text(kLoginTitle), text(kIncorrect), why);
        if (held) {
            // A node read while this login was settled cannot be shown without a login either. No request went
            // out when no server is configured: that was said already.
            held.reset();
            if (end != End::NotConfigured)
                emit notice(end != End::Cancelled, text(kLoginTitle), text(kNeedLogin), QString());
        }
        return;
    }
    // The operator's own cancel is no error; a refusal or a server at fault is.
    if (end == End::Cancelled)
        emit notice(false, text(kLoginTitle), text(kNeedLogin),
            purpose == Purpose::ShowNode ? QCoreApplication::translate(
                "CommissioningSession", "The node is not shown without a login; reset it to try again.")
                                         : QString());
    else if (failed)
        emit notice(true, text(kLoginTitle), text(kNeedLogin), why);
    if (keep) {
        problemText = why;
        return;
    }
    // The node read for this login is dropped; the operator resets it to try again.
    held.reset();
}

QString LoginCoordinator::describeFailure(ServerSession::LoginOutcome outcome, const QString &detail)
{
    switch (outcome) {
    case ServerSession::LoginOutcome::Granted:
        break;
    case ServerSession::LoginOutcome::CredentialsRefused:
        return QCoreApplication::translate("CommissioningSession", "The server refused the user name or password.");
    case ServerSession::LoginOutcome::NoAnswer:
        return QCoreApplication::translate("CommissioningSession", "The server did not answer within 30 s.");
    case ServerSession::LoginOutcome::Unreachable:
        return QCoreApplication::translate("CommissioningSession", "The server cannot be reached: %1").arg(detail);
    case ServerSession::LoginOutcome::Untrusted:
        return QCoreApplication::translate("CommissioningSession", "The server's certificate is not trusted: %1")
            .arg(detail);
    case ServerSession::LoginOutcome::Failed:
        return QCoreApplication::translate("CommissioningSession", "The login failed: %1").arg(detail);
    }
    return QString();
}
