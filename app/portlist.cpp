#include "portlist.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStandardItemModel>
#include <QStylePainter>
#include <QStyledItemDelegate>

namespace {
// Named bench slots made by the udev rule shipped with the tool (/dev/iot-slot1 …).
const char kSlotPattern[] = "iot-slot*";
// The list is wider than the box so that paths, descriptions and serial numbers can be read whole.
constexpr int kListMinimumWidth = 420;
constexpr int kPathRole = Qt::UserRole;
constexpr int kDetailRole = Qt::UserRole + 1;
constexpr int kHolderRole = Qt::UserRole + 2;

// In the list, each port shows its path and, where the system knows them, its description and serial number.
class PortItemDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        const QString detail = index.data(kDetailRole).toString();
        if (!detail.isEmpty())
            option->text += QStringLiteral("  —  ") + detail;
        const QString holder = index.data(kHolderRole).toString();
        if (!holder.isEmpty())
            option->text += QStringLiteral("  —  ") + holder;
    }
};

QString detailOf(const QSerialPortInfo &port)
{
    QStringList parts;
    if (!port.description().isEmpty())
        parts << port.description();
    if (!port.serialNumber().isEmpty())
        parts << QCoreApplication::translate("PortList", "S/N ") + port.serialNumber();
    return parts.join(QStringLiteral(", "));
}
} // namespace

PortList::PortList(QComboBox *combo, QObject *parent)
    : QObject(parent)
    , box(combo)
{
    box->setItemDelegate(new PortItemDelegate(box));
    box->view()->setMinimumWidth(kListMinimumWidth);
    box->installEventFilter(this);
    connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this, [this](int index) {
        box->setToolTip(box->itemData(index, Qt::ToolTipRole).toString());
        if (!filling && index >= 0)
            emit portChosen(box->itemData(index, kPathRole).toString());
    });
}

QStringList PortList::extraPortNames()
{
    const QString value = QString::fromLocal8Bit(qgetenv(kExtraPortsVariable));
    return value.split(QLatin1Char(':'), Qt::SkipEmptyParts);
}

QString PortList::fill(const QString &remembered)
{
    filling = true;
    box->clear();
    int chosen = -1;
    auto add = [&](const QString &path, const QString &shortName, const QString &detail) {
        box->addItem(path);
        const int index = box->count() - 1;
        box->setItemData(index, path, kPathRole);
        box->setItemData(index, detail, kDetailRole);
        box->setItemData(index, detail.isEmpty() ? path : path + QLatin1Char('\n') + detail, Qt::ToolTipRole);
        // A later match replaces an earlier one: a port listed twice is chosen where it is listed last. A port
        // another station holds is not chosen a second time.
        if (!remembered.isEmpty() && (remembered == path || remembered == shortName)
            && !heldPorts.contains(deviceOf(path)))
            chosen = index;
    };
    const auto ports = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &port : ports)
        add(port.systemLocation(), port.portName(), detailOf(port));
    const QFileInfoList benchSlots
        = QDir(QStringLiteral("/dev")).entryInfoList({QLatin1String(kSlotPattern)}, QDir::System);
    for (const QFileInfo &slot : benchSlots)
        add(slot.absoluteFilePath(), slot.fileName(), tr("bench slot, %1").arg(slot.symLinkTarget()));
    for (const QString &path : extraPortNames())
        add(path, path, QString());
    markHeldPorts();
    // Nothing is opened behind the operator's back: without a remembered port, the box waits for a choice.
    box->setCurrentIndex(chosen);
    box->setToolTip(chosen >= 0 ? box->itemData(chosen, Qt::ToolTipRole).toString() : QString());
    filling = false;
    return currentPort();
}

QString PortList::currentPort() const
{
    const int index = box->currentIndex();
    return index >= 0 ? box->itemData(index, kPathRole).toString() : QString();
}

void PortList::select(const QString &path)
{
    filling = true;
    box->setCurrentIndex(box->findData(path, kPathRole));
    filling = false;
}

void PortList::setHeldPorts(const QMap<QString, QString> &held)
{
    // By the device behind each path: a bench slot's link and the device it names are one port.
    QMap<QString, QString> devices;
    for (auto it = held.cbegin(); it != held.cend(); ++it)
        devices.insert(deviceOf(it.key()), it.value());
    if (devices == heldPorts)
        return;
    heldPorts = devices;
    markHeldPorts();
}

QString PortList::deviceOf(const QString &path)
{
    const QString device = QFileInfo(path).canonicalFilePath();
    return device.isEmpty() ? path : device;
}

void PortList::markHeldPorts()
{
    auto *model = qobject_cast<QStandardItemModel *>(box->model());
    for (int index = 0; index < box->count(); ++index) {
        const QString path = box->itemData(index, kPathRole).toString();
        const QString holder = heldPorts.value(deviceOf(path));
        box->setItemData(index, holder.isEmpty() ? QVariant() : QVariant(holder), kHolderRole);
        // The port this box has chosen itself stays selectable; one another station holds does not.
        if (QStandardItem *item = model ? model->item(index) : nullptr)
            item->setEnabled(holder.isEmpty() || index == box->currentIndex());
    }
}

bool PortList::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != box || event->type() != QEvent::Paint)
        return QObject::eventFilter(watched, event);
    // The closed box: its path elided in the middle, so both the directory and the device name stay visible.
    QStylePainter painter(box);
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = false;
    option.frame = true;
    option.currentText = box->currentText();
    option.currentIcon = box->itemIcon(box->currentIndex());
    option.iconSize = box->iconSize();
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field = box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, box);
    option.currentText = box->fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, field.width());
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
    return true;
}
