#include "passworddialog.h"

#include "ui_passworddialog.h"

PasswordDialog::PasswordDialog(QString title, QString serverText)
    : QDialog(nullptr)
    , ui(new Ui::PasswordDialog)
{
    ui->setupUi(this);
    ui->server_label->setText(serverText);
    setWindowTitle(title);
    ui->usernameLineEdit->setFocus();
}

PasswordDialog::~PasswordDialog()
{
    delete ui;
}

void PasswordDialog::setUsername(const QString &name)
{
    ui->usernameLineEdit->setText(name);
    if (!name.isEmpty())
        ui->passwordLineEdit->setFocus();
}

QString PasswordDialog::username() const
{
    return ui->usernameLineEdit->text();
}

QString PasswordDialog::password() const
{
    return ui->passwordLineEdit->text();
}
