#include "formloraotaa5d.h"

#include "ui_formloraotaa5d.h"

FormLoRaOTAA5d::FormLoRaOTAA5d(const Node &node, QWidget *parent)
    : GeneratedUiForm(node, parent)
{
    setUpForm({ui->appIDEdit, ui->lockDescriptionEdit, ui->appKeyEdit, ui->tempHighEdit, ui->tempLowEdit,
                  ui->humidityHighEdit, ui->humidityLowEdit, ui->reportRateEdit},
        IntRange::PlusMinusHundred);
}
