// The widget trees of the six forms: captions, what can be selected for copying, and that every row fits
// inside its box once the form is laid out.

#include "formcases.h"
#include "nodeform.h"

#include <QGroupBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <memory>

namespace {

std::unique_ptr<NodeForm> buildForm(int type, const Node &node)
{
    Node typed = node;
    typed.firmwareType = Node::eFirmwareType(type);
    return std::unique_ptr<NodeForm>(NodeForm::create(typed));
}

QString labelText(const QWidget *form, const char *name)
{
    const QLabel *label = childOf<QLabel>(form, QLatin1String(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

} // namespace

class TestFormLayout : public QObject
{
    Q_OBJECT

private slots:
    void formsAreLaidOutAsDesigned_data();
    void formsAreLaidOutAsDesigned();
    void captionsReadAsWritten_data();
    void captionsReadAsWritten();
    void identityCanBeSelectedForCopying_data();
    void identityCanBeSelectedForCopying();
    void nothingIsCutOffOnceShown_data();
    void nothingIsCutOffOnceShown();
    void emptyDeviceIdShowsAnEmptyLabel();
};

void TestFormLayout::formsAreLaidOutAsDesigned_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("title");
    QTest::newRow("FormPellimar") << int(Node::Pellimar) << "PellimarNode";
    QTest::newRow("FormLoRaOTAA") << int(Node::LoRaOTAA) << "LoRa OTAA";
    QTest::newRow("FormSigFox") << int(Node::SigFox) << "SigFox";
    QTest::newRow("FormPellimar5d") << int(Node::Pellimar5D) << "PellimarNode";
    QTest::newRow("FormLoRaOTAA5d") << int(Node::LoRaOTAA5D) << "LoRa OTAA";
    QTest::newRow("FormSigFox5d") << int(Node::SigFox5D) << "SigFox";
}

void TestFormLayout::formsAreLaidOutAsDesigned()
{
    QFETCH(int, type);
    QFETCH(QString, title);
    const auto form = buildForm(type, healthyNode(Node::eFirmwareType(type)));

    auto *nodeBox = childOf<QGroupBox>(form.get(), "nodeBox");
    QCOMPARE(nodeBox->title(), title);
    QCOMPARE(childOf<QGroupBox>(form.get(), "thersholdBox")->parentWidget(), nodeBox);
    QCOMPARE(childOf<QGroupBox>(form.get(), "thersholdBox")->title(), QStringLiteral("Thresholds"));
    // Apply and the busy bar stay usable while the node box is disabled.
    QCOMPARE(childOf<QPushButton>(form.get(), "applyButton")->parentWidget(), form.get());
    QCOMPARE(childOf<QPushButton>(form.get(), "applyButton")->text(), QStringLiteral("Apply"));
    auto *busy = childOf<QProgressBar>(form.get(), "progressBar");
    QCOMPARE(busy->parentWidget(), form.get());
    QCOMPARE(busy->maximum(), 0); // endless
    QVERIFY(QRect(QPoint(0, 0), form->size()).contains(busy->geometry()));
}

void TestFormLayout::captionsReadAsWritten_data()
{
    addOneRowPerForm();
}

void TestFormLayout::captionsReadAsWritten()
{
    QFETCH(int, type);
    const auto form = buildForm(type, healthyNode(Node::eFirmwareType(type)));
    const bool fiveD = type >= Node::Pellimar5D;

    QCOMPARE(labelText(form.get(), "thresholdLabel_2"), QStringLiteral("Sensor"));
    QCOMPARE(labelText(form.get(), "thresholdLabel_3"), QStringLiteral("Low"));
    QCOMPARE(labelText(form.get(), "thresholdLabel_4"), QStringLiteral("High"));
    QCOMPARE(labelText(form.get(), "thresholdLabel"),
        QString::fromUtf8("Temperature (\xC2\xB0"
                          "C):"));
    QCOMPARE(labelText(form.get(), "thresholdLabel_5"), QStringLiteral("Humidity (%):"));
    QCOMPARE(childOf<QLabel>(form.get(), "thresholdLabel_6") != nullptr, !fiveD);
    if (!fiveD) {
        QCOMPARE(labelText(form.get(), "thresholdLabel_6"), QStringLiteral("Pressure (bar):"));
        QCOMPARE(labelText(form.get(), "thresholdLabel_7"), QStringLiteral("Accelerometer (G):"));
    }
    QCOMPARE(labelText(form.get(), "reportID"), QStringLiteral("Report Rate:"));
    // Every form names the report rate's unit.
    QCOMPARE(labelText(form.get(), "reportUnit"), QStringLiteral("min"));
    QCOMPARE(labelText(form.get(), "lockDescription_label"), QStringLiteral("Lock Description:"));

    if (Node::isSigfoxType(type)) {
        QCOMPARE(labelText(form.get(), "IDLabel"), QStringLiteral("ID:"));
        QCOMPARE(labelText(form.get(), "PACLabel"), QStringLiteral("PAC:"));
    } else {
        QCOMPARE(labelText(form.get(), "appIDLabel"), QStringLiteral("Application ID:"));
        QCOMPARE(labelText(form.get(), "appKeyLabel"), QStringLiteral("Application Key:"));
        const bool pellimar = type == Node::Pellimar || type == Node::Pellimar5D;
        QCOMPARE(childOf<QLabel>(form.get(), "netID") != nullptr, pellimar);
        if (pellimar)
            QCOMPARE(labelText(form.get(), "netID"), QStringLiteral("Network ID:"));
    }
}

void TestFormLayout::identityCanBeSelectedForCopying_data()
{
    addOneRowPerForm();
}

void TestFormLayout::identityCanBeSelectedForCopying()
{
    QFETCH(int, type);
    const auto form = buildForm(type, healthyNode(Node::eFirmwareType(type)));
    const Qt::TextInteractionFlags selectable = Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard;

    if (Node::isSigfoxType(type)) {
        auto *id = childOf<QLabel>(form.get(), "IDResultLabel");
        auto *pac = childOf<QLabel>(form.get(), "PACResultLabel");
        // The PAC can be copied in both forms, the id only in the 5D form.
        QCOMPARE(pac->textInteractionFlags() & selectable, selectable);
        QCOMPARE((id->textInteractionFlags() & selectable) == selectable, type == Node::SigFox5D);
    } else {
        auto *deviceId = childOf<QLabel>(form.get(), "deviceIDLabel");
        QCOMPARE(deviceId->textInteractionFlags() & selectable, selectable);
    }
}

void TestFormLayout::nothingIsCutOffOnceShown_data()
{
    addOneRowPerForm();
}

void TestFormLayout::nothingIsCutOffOnceShown()
{
    QFETCH(int, type);
    Node node = healthyNode(Node::eFirmwareType(type));
    // The widest values the node can hold.
    node.euid = Node::isSigfoxType(type) ? QStringLiteral("FFFFFFFF") : QStringLiteral("DDDDDDDDDDDDDDDD");
    node.pac = QStringLiteral("DDDDDDDDDDDDDDDD");
    const auto form = buildForm(type, node);
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));

    for (QWidget *widget : form->findChildren<QWidget *>()) {
        if (!widget->isVisible())
            continue;
        const QRect inParent(QPoint(0, 0), widget->parentWidget()->size());
        QVERIFY2(inParent.contains(widget->geometry()), qPrintable(widget->objectName()));
        if (qobject_cast<QLabel *>(widget) || qobject_cast<QLineEdit *>(widget)) {
            QVERIFY2(widget->width() >= widget->minimumSizeHint().width(), qPrintable(widget->objectName()));
            QVERIFY2(widget->height() >= widget->minimumSizeHint().height(), qPrintable(widget->objectName()));
        }
    }
}

void TestFormLayout::emptyDeviceIdShowsAnEmptyLabel()
{
    Node node = healthyNode(Node::LoRaOTAA);
    node.euid.clear();
    const auto form = buildForm(Node::LoRaOTAA, node);
    QVERIFY(labelText(form.get(), "deviceIDLabel").isEmpty());
}

QTEST_MAIN(TestFormLayout)
#include "tst_formlayout.moc"
