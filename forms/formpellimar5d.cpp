#include "formpellimar5d.h"

#include "ui_formpellimar5d.h"

FormPellimar5d::FormPellimar5d(const Node &node, QWidget *parent)
    : GeneratedUiForm(node, parent)
{
    setUpForm({ui->appIDEdit, ui->lockDescriptionEdit, ui->appKeyEdit, ui->netIDEdit, ui->tempHighEdit, ui->tempLowEdit,
                  ui->humidityHighEdit, ui->humidityLowEdit, ui->reportRateEdit},
        IntRange::Full);
}
