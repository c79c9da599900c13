#pragma once

#include "commissioningjournal.h"
#include "commissioningsession.h"
#include "node.h"
#include "portlist.h"

#include <memory>

#include <QMainWindow>
#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QString>
#include <QStringList>

class BenchSetup;
class CommissioningProfile;
class HistoryWindow;
class RegistrationOutbox;
class NoticePresenter;
class PasswordDialog;
class ElidedLabel;
class QLabel;
class QMessageBox;
class QPushButton;
class QTabWidget;
class StationView;
class VerdictSound;

namespace Ui {
class MainWindow;
}

// The tool's one window. It holds one commissioning station, or up to four in tabs (Settings → Stations…), each
// rendering what its session decides; the window keeps what the stations share: the server session and its
// login, the journal, the outbox, the profile, the settings it persists, the dialogs and the status bar.
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
    // Every station's link, session and the server requests run on this pacing (the first form: the protocol's).
    explicit MainWindow(const Pacing &pacing, QWidget *parent = nullptr);
    ~MainWindow() override;

    // The first station's session (the only one unless several stations are set up).
    CommissioningSession *session() const;
    static constexpr int kMaxStations = 4;
    int stationCount() const { return stations.size(); }
    StationView *station(int index) const { return stations.value(index); }
    // Sets up `count` stations (1 to kMaxStations); a station that stays keeps its port and its node.
    void setStationCount(int count);
    // A profile given on the command line: used for this run instead of the remembered one.
    void setProfileOverride(const QString &path);

protected:
    // Closing with a node on show or registrations waiting asks first.
    void closeEvent(QCloseEvent *event) override;

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

private:
    StationView *currentStation() const;
    StationView *addStation();
    // What the window shows of the current station: its versions and a port that failed to open.
    void showStationAppearance();
    void updateStationTab(StationView *station);
    // Each station's port box learns which ports the others hold; every tab gets a title of its own.
    void updateStationPorts();
    QString stationTitle(StationView *station) const;
    void chooseStationCount();
    void chooseCaFile();
    void chooseProfile();
    // Loads and activates a profile (empty: none); a profile that cannot be loaded is refused with a message and
    // the previous one stays. `remember`: keep the choice in the settings.
    bool useProfile(const QString &path, bool remember);
    void editLot();
    // Settings → Shared database…: the PostgreSQL address the journal is forwarded to; empty for none.
    void editSharedDatabase();
    // Forwards the journal to the address (empty: stops forwarding), asking the password first when libpq
    // finds none and it was not asked yet in this run.
    void useSharedDatabase(const QString &url);
    void showSharedDatabase(int waiting, bool reachable, const QString &problem);
    // Settings → Label…: the label's size and printer, with a preview.
    void chooseLabelSettings();
    // Prints the label of the current station's node on show; with none, says so.
    void printLabel();
    // Prints `node`'s label on the chosen printer, says in the status bar how it went and journals it.
    // Commissioning is not held up by a printer that is missing or fails.
    void printLabelFor(const Node &node);
    void showHistory();
    // A settings file, journal or outbox that cannot be used: said in the status bar, in a box once, and logged.
    void reportStorageProblem(const QString &problem);
    // Shows the "unencrypted" note while the server address is a plain http one.
    void showServerSecurity();
    void storeSetting(const QString &key, const QVariant &value);
    void showLot();
    void centreOnScreen();
    void openLoginDialog();
    void showWaitingRegistrations();
    // "Log in again" shows while a station's login failed or registrations wait only for a login.
    void updateLoginAgainButton();
    // A station's run by the profile ended: counted for the shift, and its label printed when the profile says.
    void countAutoRun(StationView *station, bool passed, const Node &node);
    // The shift's passed and failed units, shown while the profile runs the stations.
    void showShiftCount();
    // A station whose node waits for its label scan comes forward when the one on show waits for none and
    // is not worked by hand; the scanner then types into its label field.
    void bringForwardForScan();

    Ui::MainWindow *ui;
    QSettings settings;
    // The journal, outbox and server session the stations share.
    std::unique_ptr<BenchSetup> bench;
    // What happened to each node, for the supervisor; the window never reads it.
    CommissioningJournal &journal;
    RegistrationOutbox *outbox = nullptr; // the bench's
    ServerSession *serverSession = nullptr; // the bench's
    NoticePresenter *notices = nullptr;
    QList<StationView *> stations;
    // Holds the stations while there are several; a single station is the central widget itself.
    QTabWidget *tabs = nullptr;
    std::shared_ptr<const CommissioningProfile> activeProfile;
    QPointer<PasswordDialog> loginDialog;
    // The user name last typed in the login dialog, offered again (the password never is).
    QString lastUserName;
    bool loginDialogDeferred = false;
    bool quitConfirmed = false;
    QPointer<QMessageBox> quitQuestion;
    QPointer<HistoryWindow> history;
    QLabel *versionLabel = nullptr;
    QLabel *waitingLabel = nullptr;
    QLabel *profileLabel = nullptr;
    QLabel *lotLabel = nullptr;
    QLabel *unencryptedLabel = nullptr;
    ElidedLabel *sharedDatabaseLabel = nullptr;
    // A label that could not be printed, until the next one is.
    ElidedLabel *labelProblemLabel = nullptr;
    // The shared database's password as typed in this run; never stored.
    QString sharedDatabasePassword;
    bool sharedDatabasePasswordAsked = false;
    bool profileOverridden = false;
    QLabel *storageProblem = nullptr;
    QSet<QString> storageProblemsShown;
    QPushButton *loginAgainButton = nullptr;
    // The units that passed and failed a run by the profile since the tool started.
    int shiftPassed = 0;
    int shiftFailed = 0;
    QLabel *shiftLabel = nullptr;
    VerdictSound *verdictSound = nullptr;
    // A port that could not be opened stays reported in the status bar until a port opens or a node connects.
    QString portFailureMessage;
};
