#pragma once

#include "commissioningjournal.h"
#include "node.h"

#include <QByteArray>
#include <QMainWindow>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QQueue>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QTimer>

class NodeForm;
class NodeInterface;
class PasswordDialog;
class QColor;
class QLabel;

namespace Ui {
class MainWindow;
}

// The tool's one window: it follows a node from its boot to its form, holds the server login and registers
// the node. The serial link lives in its own thread and is driven only through its slots.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // How long a booting node may take from its banner to the complete configuration.
    static constexpr int kConnectTimeoutMs = 30000;
    // Colon-separated device paths listed after the system's ports (pseudo-terminals are not listed).
    static constexpr const char *kExtraPortsVariable = "IOT_COMMISSION_EXTRA_PORTS";
    // The names the settings are kept under; main() gives them to the application as well, which places the
    // commissioning journal in the matching data directory.
    static constexpr const char *kOrganisationName = "DARV";
    static constexpr const char *kApplicationName = "iot_commission";

    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Only for tests that must not wait the real connect time-out.
    void setConnectTimeoutForTesting(int ms) { connectTimeoutMs = ms; }

signals:
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
    void fillSerialPortList();
    static QStringList extraPortNames();
    void centreOnScreen();
    // The window's part of disconnectNode(): back to the idle view, without touching the link.
    void clearNodeView();
    void showNodeVersions(QString nodeVersion, QString moduleVersion, QString loraVersion);
    void showStateMessage(const QColor &colour, const QString &text);
    bool loginToServer(bool &aborted);
    void redeliverDeferredNode();
    static void showMessageBox(QMessageBox::Icon icon, const QString &title, const QString &text);
    void noteSerialPortOpened(const QString &name);
    void reportSerialPortFailure(const QString &name, const QString &reason);
    void clearPortFailure();
    void journalWriteResult(int result);

    QNetworkAccessManager networkManager;
    NodeForm *currentForm;
    QSettings settings;
    bool loggedIn;
    PasswordDialog *loginDialog;
    QByteArray token;
    QString serverAddress;
    QString passwordDigest;
    QString userName;
    QLabel *versionLabel;
    NodeInterface *nodeInterface;
    QTimer connectTimer;
    Ui::MainWindow *ui;

    int connectTimeoutMs = kConnectTimeoutMs;
    // Counts node events (a boot seen, a node announced) so that a connection resumed after a login can tell
    // whether a newer node has taken its place meanwhile.
    quint64 nodeEpoch = 0;
    // A node announced while another call's login prompt was open; it is shown once that prompt is done.
    Node deferredNode;
    bool hasDeferredNode = false;

    // A port that could not be opened stays reported in the status bar until a port opens or a node connects.
    QString portFailureMessage;
    // What happened to each node, for the supervisor; the window never reads it.
    CommissioningJournal journal;
    QString openPortName;
    // The writes asked of the link whose results are still to come; the link answers them in this order.
    struct PendingWrite
    {
        enum Kind { Settings, DeviceId, SigfoxData } kind;
        Node node;
        int flags;
    };
    QQueue<PendingWrite> pendingWrites;
};
