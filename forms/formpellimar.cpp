#include "formpellimar.h"

#include "ui_formpellimar.h"

FormPellimar::FormPellimar(const Node &node, QWidget *parent)
    : GeneratedUiForm(node, parent)
{
    setUpForm({ui->appIDEdit, ui->lockDescriptionEdit, ui->appKeyEdit, ui->netIDEdit, ui->tempHighEdit, ui->tempLowEdit,
                  ui->humidityHighEdit, ui->humidityLowEdit, ui->pressureHighEdit, ui->pressureLowEdit, ui->accHighEdit,
                  ui->reportRateEdit},
        IntRange::Full);
}
