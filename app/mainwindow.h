#pragma once

#include "node.h"

#include <QByteArray>
#include <QMainWindow>
#include <QMessageBox>
#include <QNetworkAccessManager>
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
    void showNodeVersions(QString nodeVersion, QString moduleVersion, QString loraVersion);
    void showStateMessage(const QColor &colour, const QString &text);
    bool loginToServer(bool &aborted);
    void redeliverDeferredNode();
    static void showMessageBox(QMessageBox::Icon icon, const QString &title, const QString &text);

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
};
