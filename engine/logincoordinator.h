#pragma once

#include "node.h"
#include "serversession.h"

#include <QObject>
#include <QString>

#include <optional>

// The server login one port's commissioning needs: why it is wanted, the node read that waits for it, whether
// refused credentials are asked for again, and what the operator is told when a login ends without being held.
// It decides nothing about the station's state: the session's transition table asks it (its guards) and tells
// it (its actions) what happened.
class LoginCoordinator : public QObject
{
    Q_OBJECT
public:
    enum class Purpose { None, ShowNode, Register, Standalone };
    // What asking for a login led to.
    enum class Start {
        UnderWay, // another port's login is on its way; its answer serves this one too
        Requested, // the held credentials went to the server
        Impossible, // no server is configured: the operator was told, nothing went out
        Asked, // credentials must be typed in
    };
    // How a login ended without being held.
    enum class End { Cancelled, NotConfigured, Refused, Failed };

    explicit LoginCoordinator(ServerSession *server, QObject *parent = nullptr);

    Start need(Purpose purpose);
    Purpose purpose() const { return wanted; }
    bool isWanted() const { return wanted != Purpose::None; }

    void setAsksAgainAfterRefusal(bool asks) { asksAgain = asks; }
    // True while credentials are asked for again because the server refused the last ones.
    bool isAskingAgain() const { return askingAgain; }
    // True when refused credentials are asked for again (the node read or the registration waits meanwhile).
    bool asksAgainAfter(End end) const;
    // True when a failed login keeps the node it was for, to be shown once a login is held without a reset.
    bool keepsNodeAfter(End end) const;

    // The node read while the login was settled, shown once it is held.
    void hold(const Node &node) { held = node; }
    void dropHeld() { held.reset(); }
    bool holdsNode() const { return held.has_value(); }
    Node takeHeld() { return *std::exchange(held, std::nullopt); }

    // The login is held: what it was for.
    Purpose granted();
    // The refused credentials are asked for again.
    void askAgain(const QString &detail);
    // The login ended without being held (how and, for a failure, what the server said).
    void end(End end, ServerSession::LoginOutcome outcome, const QString &detail);
    // What the last failed login told.
    QString problem() const { return problemText; }

    static QString describeFailure(ServerSession::LoginOutcome outcome, const QString &detail);

signals:
    void notice(bool critical, QString title, QString text, QString detail);

private:
    ServerSession *server;
    Purpose wanted = Purpose::None;
    std::optional<Node> held;
    bool asksAgain = false;
    bool askingAgain = false;
    QString problemText;
};
