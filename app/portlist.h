#pragma once

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

class QComboBox;

// The serial port box: the system's ports by their whole device path, the extra ports named in the
// environment, and the bench's named slots, each with its description and serial number in the list. The
// closed box shows the path elided in the middle (the start and the device name both matter), the whole path
// in its tooltip.
class PortList : public QObject
{
    Q_OBJECT
public:
    // Colon-separated device paths listed after the system's ports (pseudo-terminals are not listed).
    static constexpr const char *kExtraPortsVariable = "IOT_COMMISSION_EXTRA_PORTS";

    explicit PortList(QComboBox *combo, QObject *parent = nullptr);

    // Fills the list afresh and selects `remembered` when it is there (by path or by the port's short name);
    // returns the selected port's path, or an empty text with nothing selected. Emits nothing.
    QString fill(const QString &remembered);
    QString currentPort() const;
    // Shows `path` as the chosen port without announcing it (a choice taken back).
    void select(const QString &path);
    // Ports that another station of the window holds, each with who holds it ("held by station 1"): they are
    // listed with that note and cannot be chosen here. Applies to later fills as well.
    void setHeldPorts(const QMap<QString, QString> &held);

signals:
    // The operator picked a port in the box.
    void portChosen(QString path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static QStringList extraPortNames();

    void markHeldPorts();
    // The device a path leads to (links followed), or the path itself when there is none.
    static QString deviceOf(const QString &path);

    QComboBox *box;
    QMap<QString, QString> heldPorts; // by device (deviceOf)
    bool filling = false;
};
