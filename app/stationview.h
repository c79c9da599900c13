#pragma once

#include "commissioningsession.h"
#include "node.h"
#include "stationoutcome.h"

#include <QMap>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class CommissioningJournal;
class CommissioningProfile;
class NodeForm;
class NoticePresenter;
class PortList;
class QColor;
class QLabel;
class QProgressDialog;
class ServerSession;

namespace Ui {
class StationView;
}

// One commissioning station: a port with its own session and the whole single-port workflow (the top row of
// buttons, the label band, the node's form, the state text). The window holds one, or one per tab; the
// stations share the window's server session (and with it the login), journal and notices.
class JournalForwarder;

class StationView : public QWidget
{
    Q_OBJECT
public:
    // How a station is doing, for the dot in its tab.
    using Mood = StationOutcome::Mood;

    // The station's link and session run on the pacing.
    StationView(ServerSession *server, CommissioningJournal *journal, NoticePresenter *notices, const Pacing &pacing,
        QWidget *parent = nullptr);
    ~StationView() override;

    CommissioningSession *session() const { return commissioning; }
    QString portName() const;
    Mood mood() const;
    // The node versions for the status bar; empty while no node is shown.
    QString versionText() const { return versions; }
    // Why the chosen port could not be opened; empty once a port opens or a node connects.
    QString portFailure() const { return portFailureMessage; }
    // True while the node area shows a run by the profile: its steps, then its PASS or FAIL.
    bool showsAutoRun() const { return runOnShow; }
    // True while the node in a run by the profile waits for its label to be scanned.
    bool awaitsLabel() const;
    // Puts the keyboard focus (a scanner's input) into the label field.
    void focusLabelField();

    // Fills the port box and opens `remembered` when it is listed; nothing is opened otherwise.
    void fillPorts(const QString &remembered);
    void setProfile(std::shared_ptr<const CommissioningProfile> profile);
    // The ports the window's other stations hold, each with its holder's name: not chosen here.
    void setHeldPorts(const QMap<QString, QString> &held);
    // The shared database asked before each registration whether another bench registered the node; null: none.
    void setSharedDatabase(JournalForwarder *forwarder);

    // The operator's actions (also reached through the window's slots of the same names).
    void refreshPorts();
    void registerNode();
    void configureID(Node::eFirmwareType type);

signals:
    // The node is being reset (after a successful write, or by the refresh button).
    void resetNode();
    // The operator picked another port in this station's box.
    void portChosen(QString path);
    // The session waits for the operator's credentials.
    void loginNeeded();
    // Something the window shows for this station changed: its tab, the versions, the port failure.
    void appearanceChanged();
    // Register went on without asking the shared database whether another bench registered the node.
    void duplicateCheckSkipped(const QString &problem);
    // The shared database is asked whether another bench registered the node (`asking` true), or answered.
    void duplicateCheckAsked(bool asking);
    // A run by the profile ended: passed or failed (with the reason), for `node`.
    void autoRunEnded(bool passed, const Node &node, const QString &reason);

private:
    void layOut();
    void placeNodeArea();
    void setLabelBandVisible(bool visible);
    void renderNote(const CommissioningSession::NodeNote &note);
    void renderLabelResult(const CommissioningSession::LabelResult &result);
    void askQuestion(CommissioningSession::Question question, CommissioningSession::Action action);
    void renderState(CommissioningSession::State state);
    void renderActions();
    void renderAutoRun(const CommissioningSession::AutoRun &run);
    // Shows the run's panel, the form, the state text and the note as the run and the state call for.
    void arrangeNodeArea();
    QString stepsText() const;
    void showForm(const Node &node);
    void removeForm();
    void showProgress(const QString &label);
    void hideProgress();
    void showStateMessage(const QColor &colour, const QString &text);
    void noteSerialPortOpened();
    void reportSerialPortFailure(const QString &name, const QString &reason);
    void clearPortFailure();
    // The operator picked `path` in the port box: asks first when the shown node has edits not applied.
    void portPicked(const QString &path);
    void switchPort(const QString &path);
    void registerShownNode();
    void registrationChecked(const QString &identifier, bool asked, const QString &otherBench, qint64 registeredMsecs,
        const QString &problem);

    Ui::StationView *ui;
    CommissioningSession *commissioning = nullptr;
    NoticePresenter *notices;
    PortList *portList = nullptr;
    NodeForm *currentForm = nullptr;
    QPointer<QProgressDialog> progress;
    // The port this station is to use: listed or not (a device plugged in later is found by the refresh).
    QString rememberedPort;
    QString versions;
    QString portFailureMessage;
    CommissioningJournal *journal;
    QPointer<JournalForwarder> sharedDatabase;
    // The identifier the shared database is being asked about; empty when no question is out.
    QString checkedIdentifier;
    // The same question asked for a run by the profile, and how the run takes the answer.
    QString runCheckedIdentifier;
    std::function<void(const QString &refusal)> runCheckAnswer;
    CommissioningSession::AutoRun shownRun;
    // The run's panel stays after its verdict until another node is read.
    bool runOnShow = false;
    // The node took the run's write and is being reset to be read back: the write is done, its check is not.
    bool runWriteTaken = false;
};
