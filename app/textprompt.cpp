#include "textprompt.h"

#include <QInputDialog>
#include <QLineEdit>

void TextPrompt::open(QWidget *parent, const QString &title, const QString &label, const QString &initial,
    std::function<void(const QString &)> accepted)
{
    auto *dialog = new QInputDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setLabelText(label);
    dialog->setTextEchoMode(QLineEdit::Normal);
    dialog->setTextValue(initial);
    QObject::connect(dialog, &QInputDialog::textValueSelected, parent, std::move(accepted));
    dialog->open();
}
