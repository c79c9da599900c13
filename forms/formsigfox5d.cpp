#include "formsigfox5d.h"

#include "ui_formsigfox5d.h"

#include <QLineEdit>

FormSigFox5d::FormSigFox5d(const Node &node, QWidget *parent)
    : GeneratedUiForm(node, parent)
{
    // The lock description is not in the edit list: typing it neither marks it nor enables Apply. It is still
    // recorded, because a registration made while this form is shown takes its name from it.
    ui->lockDescriptionEdit->setEnabled(true);
    connect(ui->lockDescriptionEdit, &QLineEdit::textChanged, this,
        [this](const QString &text) { lockDescriptionText = text; });
    setUpForm({ui->tempHighEdit, ui->tempLowEdit, ui->humidityHighEdit, ui->humidityLowEdit, ui->reportRateEdit},
        IntRange::PlusMinusHundred);
}

void FormSigFox5d::listedEditChanged()
{
    emit enableRegisterActivateButton(false);
}
