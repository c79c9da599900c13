#pragma once

#include <QDialog>
#include <QString>

namespace Ui {
class PasswordDialog;
}

// The modal prompt for the registration server's user name and password. It only collects the two texts;
// checking them is the server's business.
class PasswordDialog : public QDialog
{
    Q_OBJECT
public:
    // title: the window title; serverText: shown above the fields so the operator sees which server asks.
    PasswordDialog(QString title, QString serverText);
    ~PasswordDialog() override;

    // A user name typed before (the server refused the password): filled in, and the password gets the focus.
    void setUsername(const QString &name);
    QString username() const;
    QString password() const;

private:
    Ui::PasswordDialog *ui;
};
