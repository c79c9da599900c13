#include "apptestsupport.h"
#include "datatable.h"
#include "passworddialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

class PasswordDialogTest : public QObject
{
    Q_OBJECT

private slots:
    void showsTitleAndServerGivenByTheCaller();
    void widgetTreeMatchesDesign();
    void passwordIsNeverShownOrPredicted();
    void userNameFieldHasTheFocus();
    void okReturnsTheTypedTexts_data();
    void okReturnsTheTypedTexts();
    void cancelAndCloseBothReject_data();
    void cancelAndCloseBothReject();
};

void PasswordDialogTest::showsTitleAndServerGivenByTheCaller()
{
    PasswordDialog dialog(QStringLiteral("ORVA server"), QStringLiteral("http://orva.example:8080"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("ORVA server"));
    QCOMPARE(namedChild<QLabel>(&dialog, "server_label")->text(), QStringLiteral("http://orva.example:8080"));
    QVERIFY(!dialog.parentWidget());
    QCOMPARE(dialog.objectName(), QStringLiteral("PasswordDialog"));
}

void PasswordDialogTest::widgetTreeMatchesDesign()
{
    PasswordDialog dialog(QStringLiteral("t"), QStringLiteral("s"));
    QCOMPARE(dialog.size(), QSize(420, 195));
    QVERIFY(dialog.minimumSize() != dialog.maximumSize()); // resizable

    auto *server = namedChild<QLabel>(&dialog, "server_label");
    QCOMPARE(server->parentWidget(), &dialog);
    QCOMPARE(server->geometry(), QRect(10, 14, 391, 31));
    QCOMPARE(server->font().pointSize(), 13);
    QCOMPARE(server->alignment(), Qt::AlignCenter);

    auto *holder = namedChild<QWidget>(&dialog, "horizontalLayoutWidget");
    QCOMPARE(holder->geometry(), QRect(10, 50, 401, 81));
    auto *row = namedChild<QHBoxLayout>(&dialog, "horizontalLayout");
    QCOMPARE(holder->layout(), row);
    QCOMPARE(row->contentsMargins(), QMargins(0, 0, 0, 0));
    auto *labels = namedChild<QVBoxLayout>(&dialog, "verticalLayout");
    auto *edits = namedChild<QVBoxLayout>(&dialog, "verticalLayout_2");
    QCOMPARE(row->count(), 2);
    QCOMPARE(row->itemAt(0)->layout(), labels);
    QCOMPARE(row->itemAt(1)->layout(), edits);

    auto *userLabel = namedChild<QLabel>(&dialog, "label_2");
    auto *passwordLabel = namedChild<QLabel>(&dialog, "label");
    auto *user = namedChild<QLineEdit>(&dialog, "usernameLineEdit");
    auto *password = namedChild<QLineEdit>(&dialog, "passwordLineEdit");
    QCOMPARE(userLabel->text(), QStringLiteral("User name:"));
    QCOMPARE(passwordLabel->text(), QStringLiteral("Password:"));
    QCOMPARE(labels->itemAt(0)->widget(), userLabel);
    QCOMPARE(labels->itemAt(1)->widget(), passwordLabel);
    QCOMPARE(edits->itemAt(0)->widget(), user);
    QCOMPARE(edits->itemAt(1)->widget(), password);
    for (QWidget *widget : {static_cast<QWidget *>(userLabel), static_cast<QWidget *>(passwordLabel),
             static_cast<QWidget *>(user), static_cast<QWidget *>(password)})
        QCOMPARE(widget->parentWidget(), holder);
    QCOMPARE(user->text(), QString());
    QCOMPARE(password->text(), QString());
    QCOMPARE(user->echoMode(), QLineEdit::Normal);

    auto *buttons = namedChild<QDialogButtonBox>(&dialog, "buttonBox");
    QCOMPARE(buttons->geometry(), QRect(30, 150, 341, 32));
    QCOMPARE(buttons->orientation(), Qt::Horizontal);
    QCOMPARE(buttons->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

void PasswordDialogTest::passwordIsNeverShownOrPredicted()
{
    PasswordDialog dialog(QStringLiteral("t"), QStringLiteral("s"));
    auto *password = namedChild<QLineEdit>(&dialog, "passwordLineEdit");
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    const Qt::InputMethodHints hints = password->inputMethodHints();
    QVERIFY(hints.testFlag(Qt::ImhHiddenText));
    QVERIFY(hints.testFlag(Qt::ImhSensitiveData));
    QVERIFY(hints.testFlag(Qt::ImhNoAutoUppercase));
    QVERIFY(hints.testFlag(Qt::ImhNoPredictiveText));

    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QTest::keyClicks(password, QStringLiteral("s3cret"));
    QCOMPARE(dialog.password(), QStringLiteral("s3cret"));
    QVERIFY(!password->displayText().contains(QStringLiteral("s3cret")));
    QCOMPARE(password->displayText().size(), 6);
}

void PasswordDialogTest::userNameFieldHasTheFocus()
{
    PasswordDialog dialog(QStringLiteral("t"), QStringLiteral("s"));
    QCOMPARE(dialog.focusWidget(), namedChild<QWidget>(&dialog, "usernameLineEdit"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(QApplication::focusWidget(), namedChild<QWidget>(&dialog, "usernameLineEdit"));
    // Typing straight away goes into the user name.
    QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("op"));
    QCOMPARE(dialog.username(), QStringLiteral("op"));
}

void PasswordDialogTest::okReturnsTheTypedTexts_data()
{
    addDataTable<QString, QString>({"user", "password"},
        {{"both empty", "", ""}, {"plain", "operator", "tessaline"},
            {"separators and umlauts", "a&b=c+d", "pässwörd with blanks"}});
}

void PasswordDialogTest::okReturnsTheTypedTexts()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    PasswordDialog dialog(QStringLiteral("t"), QStringLiteral("s"));
    QTimer::singleShot(0, &dialog, [&] {
        // insert(), since simulated key presses only cover ASCII
        namedChild<QLineEdit>(&dialog, "usernameLineEdit")->insert(user);
        namedChild<QLineEdit>(&dialog, "passwordLineEdit")->insert(password);
        namedChild<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Ok)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QCOMPARE(dialog.username(), user);
    QCOMPARE(dialog.password(), password);
}

void PasswordDialogTest::cancelAndCloseBothReject_data()
{
    addDataTable<bool>({"byCloseControl"}, {{"cancel button", false}, {"window close", true}});
}

void PasswordDialogTest::cancelAndCloseBothReject()
{
    QFETCH(bool, byCloseControl);
    PasswordDialog dialog(QStringLiteral("t"), QStringLiteral("s"));
    QTimer::singleShot(0, &dialog, [&] {
        QTest::keyClicks(namedChild<QLineEdit>(&dialog, "usernameLineEdit"), QStringLiteral("someone"));
        if (byCloseControl)
            dialog.close();
        else
            namedChild<QDialogButtonBox>(&dialog, "buttonBox")->button(QDialogButtonBox::Cancel)->click();
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
}

IOT_APP_TEST_MAIN(PasswordDialogTest)
#include "tst_passworddialog.moc"
