#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QTimer>

// Watches for the application-modal message boxes a form opens (without parent) and closes each with OK,
// remembering what it showed.
class MessageBoxCloser : public QObject
{
public:
    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        bool hadParent;
    };

    MessageBoxCloser()
    {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, this, [this] { closeVisibleBoxes(); });
        timer.start();
    }

    QList<Seen> seen;

private:
    void closeVisibleBoxes()
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(widget);
            if (!box || !box->isVisible())
                continue;
            seen.append({box->windowTitle(), box->text(), box->icon(), box->parentWidget() != nullptr});
            if (QAbstractButton *ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        }
    }

    QTimer timer;
};
