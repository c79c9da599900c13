#include "dialogdriver.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>

namespace {
// Often enough that a test never waits noticeably for its answer.
const int kPollIntervalMs = 10;
} // namespace

DialogDriver::DialogDriver(QObject *parent)
    : QObject(parent)
{
    timer.setInterval(kPollIntervalMs);
    connect(&timer, &QTimer::timeout, this, &DialogDriver::poll);
    timer.start();
}

void DialogDriver::clickOk()
{
    steps.append({Action::ClickOk, QString(), QString()});
}

void DialogDriver::login(const QString &userName, const QString &password)
{
    steps.append({Action::Login, userName, password});
}

void DialogDriver::cancelLogin()
{
    steps.append({Action::CancelLogin, QString(), QString()});
}

void DialogDriver::closeLogin()
{
    steps.append({Action::CloseLogin, QString(), QString()});
}

void DialogDriver::enterText(const QString &text)
{
    steps.append({Action::EnterText, text, QString()});
}

void DialogDriver::cancelInput()
{
    steps.append({Action::CancelInput, QString(), QString()});
}

void DialogDriver::answer(const QString &buttonText)
{
    steps.append({Action::Answer, buttonText, QString()});
}

void DialogDriver::custom(const QString &kind, std::function<void(QWidget *)> callback)
{
    steps.append({Action::Custom, kind, QString(), std::move(callback)});
}

QVector<DialogDriver::Record> DialogDriver::recordsOf(const QString &kind) const
{
    QVector<Record> result;
    for (const Record &record : seen) {
        if (record.kind == kind)
            result.append(record);
    }
    return result;
}

QStringList DialogDriver::messageTexts() const
{
    QStringList texts;
    for (const Record &record : recordsOf(QStringLiteral("message")))
        texts << record.text;
    return texts;
}

QStringList DialogDriver::messageSummaries() const
{
    QStringList summaries;
    for (const Record &record : recordsOf(QStringLiteral("message")))
        summaries << boxSummary(record.title, record.text, record.icon, record.hasParent);
    return summaries;
}

QString DialogDriver::boxSummary(const QString &title, const QString &text, int icon, bool hasParent)
{
    return QStringLiteral("%1 | %2 | icon %3 | %4")
        .arg(title, text)
        .arg(icon)
        .arg(QLatin1String(hasParent ? "parent" : "no parent"));
}

void DialogDriver::clear()
{
    steps.clear();
    seen.clear();
}

bool DialogDriver::handled(QWidget *widget) const
{
    for (const QPointer<QWidget> &pointer : done) {
        if (pointer == widget)
            return true;
    }
    return false;
}

QString DialogDriver::kindOf(QWidget *widget)
{
    if (auto *box = qobject_cast<QMessageBox *>(widget))
        return box->icon() == QMessageBox::Question ? QStringLiteral("question") : QStringLiteral("message");
    if (qobject_cast<QInputDialog *>(widget))
        return QStringLiteral("input");
    if (qobject_cast<QProgressDialog *>(widget))
        return QStringLiteral("progress");
    if (qstrcmp(widget->metaObject()->className(), "PasswordDialog") == 0)
        return QStringLiteral("login");
    return QString::fromLatin1(widget->metaObject()->className());
}

QString DialogDriver::kindFor(const Step &step)
{
    switch (step.action) {
    case Action::ClickOk:
        return QStringLiteral("message");
    case Action::Login:
    case Action::CancelLogin:
    case Action::CloseLogin:
        return QStringLiteral("login");
    case Action::EnterText:
    case Action::CancelInput:
        return QStringLiteral("input");
    case Action::Answer:
        return QStringLiteral("question");
    case Action::Custom:
        return step.first;
    }
    return QString();
}

DialogDriver::Record DialogDriver::describe(QWidget *widget)
{
    Record record;
    record.kind = kindOf(widget);
    record.className = QString::fromLatin1(widget->metaObject()->className());
    record.title = widget->windowTitle();
    record.hasParent = widget->parentWidget() != nullptr;
    if (auto *box = qobject_cast<QMessageBox *>(widget)) {
        record.text = box->text();
        record.informativeText = box->informativeText();
        record.icon = box->icon();
        record.plainText = box->textFormat() == Qt::PlainText;
        for (QAbstractButton *button : box->buttons())
            record.buttons << button->text().remove(QLatin1Char('&'));
    } else if (auto *input = qobject_cast<QInputDialog *>(widget)) {
        record.text = input->labelText();
    } else if (auto *progress = qobject_cast<QProgressDialog *>(widget)) {
        record.text = progress->labelText();
    } else if (auto *label = widget->findChild<QLabel *>(QStringLiteral("server_label"))) {
        record.text = label->text();
    }
    return record;
}

void DialogDriver::poll()
{
    QWidget *widget = QApplication::activeModalWidget();
    if (!widget || !widget->isVisible() || handled(widget))
        return;
    done.append(widget);

    Record record = describe(widget);
    if (record.kind == QLatin1String("progress")) {
        // Progress dialogs close by themselves; they are only recorded.
        seen.append(record);
        return;
    }
    if (steps.isEmpty() || kindFor(steps.first()) != record.kind) {
        record.kind = QStringLiteral("unexpected");
        seen.append(record);
        if (auto *box = qobject_cast<QMessageBox *>(widget))
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
        else if (auto *dialog = qobject_cast<QDialog *>(widget))
            dialog->reject();
        else
            widget->close();
        return;
    }
    seen.append(record);
    answer(widget);
}

void DialogDriver::submitLogin(QWidget *dialog, const QString &userName, const QString &password)
{
    // As an operator types over whatever the field holds.
    auto *user = dialog->findChild<QLineEdit *>(QStringLiteral("usernameLineEdit"));
    user->selectAll();
    QTest::keyClicks(user, userName);
    QTest::keyClicks(dialog->findChild<QLineEdit *>(QStringLiteral("passwordLineEdit")), password);
    dialog->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Ok)->click();
}

void DialogDriver::answer(QWidget *widget)
{
    const Step step = steps.takeFirst();
    switch (step.action) {
    case Action::ClickOk:
        qobject_cast<QMessageBox *>(widget)->button(QMessageBox::Ok)->click();
        break;
    case Action::Login:
        submitLogin(widget, step.first, step.second);
        break;
    case Action::CancelLogin:
        widget->findChild<QDialogButtonBox *>(QStringLiteral("buttonBox"))->button(QDialogButtonBox::Cancel)->click();
        break;
    case Action::CloseLogin:
        widget->close();
        break;
    case Action::EnterText: {
        auto *edit = widget->findChild<QLineEdit *>();
        edit->clear();
        QTest::keyClicks(edit, step.first);
        widget->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok)->click();
        break;
    }
    case Action::CancelInput:
        widget->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Cancel)->click();
        break;
    case Action::Answer: {
        auto *box = qobject_cast<QMessageBox *>(widget);
        QAbstractButton *chosen = nullptr;
        for (QAbstractButton *button : box->buttons()) {
            if (button->text().remove(QLatin1Char('&')) == step.first)
                chosen = button;
        }
        // A question without that answer is closed unanswered, which the test sees in the record.
        if (chosen)
            chosen->click();
        else
            box->reject();
        break;
    }
    case Action::Custom:
        step.callback(widget);
        break;
    }
}
