#pragma once

#include "commissioningjournal.h"
#include "commissioningsession.h"
#include "node.h"
#include "portlist.h"

#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QString>
#include <QStringList>

class HistoryWindow;
class NodeForm;
class RegistrationOutbox;
class NoticePresenter;
class PasswordDialog;
class QColor;
class QLabel;
class QLineEdit;
class QProgressDialog;
class QPushButton;

namespace Ui {
class MainWindow;
}

// The tool's one window. It renders what the commissioning session decides (its state, the node's form, which
// actions are possible) and forwards the operator's clicks to it; it keeps the window's own business: the port
// list, the settings it persists, the dialogs and the status bar.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    static constexpr const char *kExtraPortsVariable = PortList::kExtraPortsVariable;
    // The names the settings are kept under; main() gives them to the application as well, which places the
    // commissioning journal in the matching data directory.
    static constexpr const char *kOrganisationName = "DARV";
    static constexpr const char *kApplicationName = "iot_commission";

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    CommissioningSession *session() const { return commissioning; }
    // A profile given on the command line: used for this run instead of the remembered one.
    void setProfileOverride(const QString &path);

    // Only for tests that must not wait the real connect time-out.
    void setConnectTimeoutForTesting(int ms) { commissioning->setConnectTimeoutForTesting(ms); }

signals:
    // The node is being reset (after a successful write, or by the refresh button).
    void resetNode();

public slots:
    void setBusy(bool busy);
    void enableRegActivateButton(bool enabled);

private slots:
    void setSerialPort(int idx);
    void connectNode(Node node);
    void applyResult(int result);
    void disconnectNode();
    void showAbout();
    void editServer();
    void registerNode();
    void refreshSerialPortInfo();
    void timedOut();
    void showConfigure();
    void configureID(Node::eFirmwareType type);
    void nodeSleeping();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void layOutCentralWidget();
    void chooseCaFile();
    void chooseProfile();
    // Loads and activates a profile (empty: none); a profile that cannot be loaded is refused with a message and
    // the previous one stays. `remember`: keep the choice in the settings.
    bool useProfile(const QString &path, bool remember);
    void editLot();
    void showHistory();
    // A settings file, journal or outbox that cannot be used: said in the status bar, in a box once, and logged.
    void reportStorageProblem(const QString &problem);
    void storeSetting(const char *key, const QVariant &value);
    void showLot();
    void setLabelBandVisible(bool visible);
    void renderNote(const CommissioningSession::NodeNote &note);
    void renderLabelResult(const CommissioningSession::LabelResult &result);
    void askQuestion(CommissioningSession::Question question, CommissioningSession::Action action);
    void fillSerialPortList();
    void centreOnScreen();

    // Rendering of the session.
    void renderState(CommissioningSession::State state);
    void renderActions();
    void showForm(const Node &node);
    void removeForm();
    void openLoginDialog();
    void showProgress(const QString &label);
    void hideProgress();
    void showNodeVersions(QString nodeVersion, QString moduleVersion, QString loraVersion);
    void showStateMessage(const QColor &colour, const QString &text);
    void noteSerialPortOpened(const QString &name);
    void reportSerialPortFailure(const QString &name, const QString &reason);
    void clearPortFailure();
    void showWaitingRegistrations();

    Ui::MainWindow *ui;
    QSettings settings;
    // What happened to each node, for the supervisor; the window never reads it.
    CommissioningJournal journal;
    RegistrationOutbox *outbox = nullptr;
    ServerSession *serverSession = nullptr;
    CommissioningSession *commissioning = nullptr;
    NoticePresenter *notices = nullptr;
    PortList *portList = nullptr;
    NodeForm *currentForm = nullptr;
    QPointer<PasswordDialog> loginDialog;
    QPointer<HistoryWindow> history;
    QPointer<QProgressDialog> progress;
    QLabel *versionLabel = nullptr;
    QLabel *waitingLabel = nullptr;
    QLabel *labelCaption = nullptr;
    QLineEdit *labelEdit = nullptr;
    QLabel *labelResult = nullptr;
    QLabel *noteLabel = nullptr;
    QLabel *profileLabel = nullptr;
    QLabel *lotLabel = nullptr;
    bool profileOverridden = false;
    QLabel *storageProblem = nullptr;
    QSet<QString> storageProblemsShown;
    QPushButton *loginAgainButton = nullptr;
    // A port that could not be opened stays reported in the status bar until a port opens or a node connects.
    QString portFailureMessage;
};
