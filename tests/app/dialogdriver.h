#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QVector>

#include <functional>

class QWidget;

// Answers the modal dialogs a window opens, through their own widgets, in the order the test expects them,
// and records every dialog it sees. A dialog the test did not expect is recorded as unexpected and closed,
// so that a wrong path fails the test instead of hanging it.
class DialogDriver : public QObject
{
    Q_OBJECT
public:
    struct Record
    {
        QString kind; // "message", "question", "login", "input", "progress" or "unexpected"
        QString className;
        QString title;
        QString text; // message text, input label, progress label, or the login dialog's server label
        QString informativeText; // a message box's line below its text
        QStringList buttons; // a message box's button texts, without '&'
        int icon = 0; // QMessageBox::Icon of a message box
        bool plainText = false; // a message box shows its text as it is, never as markup
        bool hasParent = false;
    };

    explicit DialogDriver(QObject *parent = nullptr);

    void clickOk();
    void login(const QString &userName, const QString &password);
    void cancelLogin();
    void closeLogin(); // the window's close control
    void enterText(const QString &text);
    void cancelInput();
    // Answers the window's question (a message box with the question icon) by the button with this text.
    void answer(const QString &buttonText);
    // The next dialog of the kind ("message", "login", "input") is handed to the callback, which must close it.
    void custom(const QString &kind, std::function<void(QWidget *)> callback);

    // Types the credentials into a login dialog and presses OK.
    static void submitLogin(QWidget *dialog, const QString &userName, const QString &password);

    QVector<Record> records() const { return seen; }
    // Only the records of one kind, in order.
    QVector<Record> recordsOf(const QString &kind) const;
    QStringList messageTexts() const;
    // Each message box seen as one line (see boxSummary), so that a test checks all of them in one comparison.
    QStringList messageSummaries() const;
    // A message box's title, text, QMessageBox::Icon and whether it had a parent window, on one line.
    static QString boxSummary(const QString &title, const QString &text, int icon, bool hasParent);
    int pendingSteps() const { return steps.size(); }
    int unexpectedCount() const { return recordsOf(QStringLiteral("unexpected")).size(); }
    void clear();

private:
    enum class Action { ClickOk, Login, CancelLogin, CloseLogin, EnterText, CancelInput, Answer, Custom };
    struct Step
    {
        Action action;
        QString first;
        QString second;
        std::function<void(QWidget *)> callback = nullptr;
    };

    void poll();
    bool handled(QWidget *widget) const;
    void answer(QWidget *widget);
    static Record describe(QWidget *widget);
    static QString kindOf(QWidget *widget);
    static QString kindFor(const Step &step);

    QTimer timer;
    QList<Step> steps;
    QVector<Record> seen;
    QList<QPointer<QWidget>> done;
};
