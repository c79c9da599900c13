#pragma once

#include "unitrecord.h"

#include <QDialog>

namespace Ui {
class UnitRecordDialog;
}

// One unit record with every step: its outcome, how long it took, why it failed and the values it measured
// against their limits.
class UnitRecordDialog : public QDialog
{
    Q_OBJECT
public:
    enum Column { StepColumn, OutcomeColumn, DurationColumn, ReasonColumn, MeasurementsColumn };

    explicit UnitRecordDialog(const UnitRecord &record, QWidget *parent = nullptr);
    ~UnitRecordDialog() override;

    // "reportRate 600 (60–3600, expected 600)", a value outside its limits marked as failed.
    static QString measurementText(const UnitRecord::Measurement &measurement);

private:
    Ui::UnitRecordDialog *ui;
};
