#include "messageboxcloser.h"

#include <QAbstractButton>
#include <QApplication>

namespace {
constexpr int kLookIntervalMs = 10;
}

MessageBoxCloser::MessageBoxCloser()
{
    timer.setInterval(kLookIntervalMs);
    connect(&timer, &QTimer::timeout, this, &MessageBoxCloser::closeVisibleBoxes);
    timer.start();
}

void MessageBoxCloser::closeVisibleBoxes()
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
