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

QString PasswordDialog::username() const
{
    return ui->usernameLineEdit->text();
}

QString PasswordDialog::password() const
{
    return ui->passwordLineEdit->text();
}
