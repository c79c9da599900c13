#include "labelsettingsdialog.h"

#include "labelprinter.h"
#include "ui_labelsettingsdialog.h"

#include <QDate>
#include <QPixmap>

#include <algorithm>

LabelSettingsDialog::LabelSettingsDialog(
    const Choice &current, const Node &sample, const QString &profileId, const QString &lot, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::LabelSettingsDialog)
    , sampleNode(sample)
    , labelProfileId(profileId)
    , lotText(lot)
{
    ui->setupUi(this);
    ui->widthSpin->setRange(NodeLabel::kMinWidthMm, NodeLabel::kMaxWidthMm);
    ui->heightSpin->setRange(NodeLabel::kMinHeightMm, NodeLabel::kMaxHeightMm);
    ui->widthSpin->setValue(current.widthMm);
    ui->heightSpin->setValue(current.heightMm);
    ui->printerCombo->addItem(tr("The system's default printer"), QString());
    for (const QString &name : LabelPrinter::printerNames())
        ui->printerCombo->addItem(name, name);
    // A printer chosen earlier that the system no longer knows stays selectable, so that it is not lost unseen.
    if (!current.printer.isEmpty() && ui->printerCombo->findData(current.printer) < 0)
        ui->printerCombo->addItem(tr("%1 (not found)").arg(current.printer), current.printer);
    ui->printerCombo->setCurrentIndex(std::max(0, ui->printerCombo->findData(current.printer)));
    connect(ui->widthSpin, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &LabelSettingsDialog::showPreview);
    connect(ui->heightSpin, qOverload<double>(&QDoubleSpinBox::valueChanged), this, &LabelSettingsDialog::showPreview);
    showPreview();
}

LabelSettingsDialog::~LabelSettingsDialog()
{
    delete ui;
}

LabelSettingsDialog::Choice LabelSettingsDialog::choice() const
{
    return {ui->widthSpin->value(), ui->heightSpin->value(), ui->printerCombo->currentData().toString()};
}

void LabelSettingsDialog::showPreview()
{
    QString error;
    const std::optional<NodeLabel> label
        = NodeLabel::forNode(sampleNode, labelProfileId, lotText, QDate::currentDate(), &error);
    if (!label) {
        ui->previewLabel->setText(error);
        return;
    }
    const NodeLabel::Layout layout = label->layout(ui->widthSpin->value(), ui->heightSpin->value());
    // The preview fills the room it has, keeping the label's proportions.
    const QSize room = ui->previewLabel->minimumSize() - QSize(8, 8);
    const double dotsPerMm = std::min(room.width() / layout.widthMm, room.height() / layout.heightMm);
    ui->previewLabel->setPixmap(QPixmap::fromImage(LabelPrinter::image(layout, dotsPerMm)));
}
