#include "formsigfox.h"

#include "ui_formsigfox.h"

FormSigFox::FormSigFox(const Node &node, QWidget *parent)
    : GeneratedUiForm(node, parent)
{
    setUpForm({ui->lockDescriptionEdit, ui->tempHighEdit, ui->tempLowEdit, ui->humidityHighEdit, ui->humidityLowEdit,
                  ui->pressureHighEdit, ui->pressureLowEdit, ui->accHighEdit, ui->reportRateEdit},
        IntRange::PlusMinusHundred);
}
