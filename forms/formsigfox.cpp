#include "formsigfox.h"

#include "ui_formsigfox.h"

FormSigFox::FormSigFox(const Node &node, QWidget *parent)
    : NodeForm(node, parent)
    , ui(new Ui::FormSigFox)
{
    ui->setupUi(this);
    setUpForm({ui->lockDescriptionEdit, ui->tempHighEdit, ui->tempLowEdit, ui->humidityHighEdit, ui->humidityLowEdit,
                  ui->pressureHighEdit, ui->pressureLowEdit, ui->accHighEdit, ui->reportRateEdit},
        IntRange::PlusMinusHundred);
}

FormSigFox::~FormSigFox() = default;
