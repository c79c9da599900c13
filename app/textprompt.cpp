#include "textprompt.h"

#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>

namespace {
// An address such as https://orva.example.com:8443/register fits without scrolling.
const int kShownCharacters = 48;
const int kWidestEdit = 640;
} // namespace

void TextPrompt::open(QWidget *parent, const QString &title, const QString &label, const QString &initial,
    std::function<void(const QString &)> accepted, QLineEdit::EchoMode echo)
{
    auto *dialog = new QInputDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowTitle(title);
    dialog->setLabelText(label);
    dialog->setTextEchoMode(echo);
    dialog->setTextValue(initial);
    // Wide enough for a server address or an identifier, and for the text it starts with.
    if (auto *edit = dialog->findChild<QLineEdit *>()) {
        const QFontMetrics metrics = edit->fontMetrics();
        const int wanted = qMax(metrics.horizontalAdvance(QLatin1Char('x')) * kShownCharacters,
            metrics.horizontalAdvance(initial) + metrics.horizontalAdvance(QLatin1Char('x')) * 4);
        edit->setMinimumWidth(qMin(wanted, kWidestEdit));
    }
    QObject::connect(dialog, &QInputDialog::textValueSelected, parent, std::move(accepted));
    dialog->open();
}
