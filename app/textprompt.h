#pragma once

#include <QLineEdit>
#include <QString>

#include <functional>

class QWidget;

// A text input dialog run without a loop of its own: `accepted` gets the text when the operator presses OK.
class TextPrompt
{
public:
    static void open(QWidget *parent, const QString &title, const QString &label, const QString &initial,
        std::function<void(const QString &)> accepted, QLineEdit::EchoMode echo = QLineEdit::Normal);
};
