#include "unitrecorddialog.h"

#include "ui_unitrecorddialog.h"
#include "unitrecordtext.h"

#include <QHeaderView>

namespace {
// The parts of a summary line that have a value, comma-separated.
QString joined(const QStringList &parts)
{
    QStringList present;
    for (const QString &part : parts) {
        if (!part.isEmpty())
            present << part;
    }
    return present.join(QStringLiteral(", "));
}
} // namespace

UnitRecordDialog::UnitRecordDialog(const UnitRecord &record, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::UnitRecordDialog)
{
    ui->setupUi(this);
    const QString identity = record.identity.isEmpty() ? tr("unknown node") : record.identity;
    setWindowTitle(tr("Unit %1, attempt %2").arg(identity).arg(record.attempt));
    QString outcome = UnitRecordText::outcome(record.outcome);
    if (record.outcome == UnitRecord::Outcome::Failed || record.outcome == UnitRecord::Outcome::Abandoned)
        outcome += QStringLiteral(" (%1)").arg(UnitRecordText::reason(record.failureStep, record.failureReason));
    const QStringList rows = {
        tr("<b>%1</b> %2, lot %3, attempt %4")
            .arg(identity.toHtmlEscaped(), record.typeName.toHtmlEscaped(), record.lot.toHtmlEscaped())
            .arg(record.attempt),
        tr("Outcome: <b>%1</b>").arg(outcome.toHtmlEscaped()),
        tr("From %1 to %2 (%3)")
            .arg(UnitRecordText::time(record.startMsecs), UnitRecordText::time(record.endMsecs),
                UnitRecordText::duration(record.durationMsecs())),
        joined({record.bench.isEmpty() ? QString() : tr("Bench %1").arg(record.bench.toHtmlEscaped()),
            record.port.isEmpty() ? QString() : tr("port %1").arg(record.port.toHtmlEscaped()),
            record.operatorName.isEmpty() ? tr("no operator logged in")
                                          : tr("operator %1").arg(record.operatorName.toHtmlEscaped())}),
        joined(
            {record.profileName.isEmpty() ? tr("No profile") : tr("Profile %1").arg(record.profileName.toHtmlEscaped()),
                record.profileSha256.isEmpty() ? QString()
                                               : tr("SHA-256 %1…").arg(record.profileSha256.left(16).toHtmlEscaped()),
                record.toolVersion.isEmpty() ? QString() : tr("tool %1").arg(record.toolVersion.toHtmlEscaped()),
                record.keyFingerprint.isEmpty() ? QString() : tr("key %1").arg(record.keyFingerprint.toHtmlEscaped())}),
    };
    ui->summaryLabel->setText(rows.join(QStringLiteral("<br>")));

    ui->stepsTable->setRowCount(record.steps.size());
    for (int row = 0; row < record.steps.size(); ++row) {
        const UnitRecord::Step &step = record.steps.at(row);
        QStringList values;
        for (const UnitRecord::Measurement &measurement : step.measurements)
            values << measurementText(measurement);
        const bool reached = step.outcome != UnitRecord::Step::Outcome::NotReached;
        const QString cells[] = {UnitRecordText::step(step.kind), UnitRecordText::outcome(step.outcome),
            reached ? UnitRecordText::duration(step.durationMsecs()) : QString(),
            UnitRecordText::reasonWords(UnitRecord::Step::kindName(step.kind), step.reason),
            values.join(QStringLiteral("; "))};
        for (int column = StepColumn; column <= MeasurementsColumn; ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            item->setToolTip(cells[column]);
            if (step.outcome == UnitRecord::Step::Outcome::Failed)
                item->setForeground(QColor(0xb0, 0x1c, 0x1c));
            ui->stepsTable->setItem(row, column, item);
        }
    }
    ui->stepsTable->verticalHeader()->hide();
    ui->stepsTable->horizontalHeader()->setStretchLastSection(true);
    ui->stepsTable->resizeColumnsToContents();
    // Measured values take the rest of the width and wrap, so a read with many values is seen whole.
    ui->stepsTable->setColumnWidth(MeasurementsColumn, std::min(ui->stepsTable->columnWidth(MeasurementsColumn), 360));
    ui->stepsTable->horizontalHeader()->setStretchLastSection(false);
    ui->stepsTable->horizontalHeader()->setStretchLastSection(true);
    ui->stepsTable->setWordWrap(true);
    ui->stepsTable->resizeRowsToContents();
}

UnitRecordDialog::~UnitRecordDialog()
{
    delete ui;
}

QString UnitRecordDialog::measurementText(const UnitRecord::Measurement &measurement)
{
    QString text = QStringLiteral("%1 %2").arg(measurement.name, measurement.value);
    QStringList limits;
    if (!measurement.low.isEmpty() || !measurement.high.isEmpty())
        limits << tr("%1 to %2").arg(measurement.low, measurement.high);
    if (!measurement.expected.isEmpty())
        limits << tr("expected %1").arg(measurement.expected);
    if (!limits.isEmpty())
        text += QStringLiteral(" (%1)").arg(limits.join(QStringLiteral(", ")));
    if (!measurement.passed)
        text += QStringLiteral(" \u2717");
    return text;
}
