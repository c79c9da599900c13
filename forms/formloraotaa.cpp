#include "formloraotaa.h"

#include "ui_formloraotaa.h"

FormLoRaOTAA::FormLoRaOTAA(const Node &node, QWidget *parent)
    : GeneratedUiForm(node, parent)
{
    setUpForm({ui->appIDEdit, ui->lockDescriptionEdit, ui->appKeyEdit, ui->tempHighEdit, ui->tempLowEdit,
                  ui->humidityHighEdit, ui->humidityLowEdit, ui->pressureHighEdit, ui->pressureLowEdit, ui->accHighEdit,
                  ui->reportRateEdit},
        IntRange::PlusMinusHundred);
}
