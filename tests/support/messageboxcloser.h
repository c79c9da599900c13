#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

// Watches for the application-modal message boxes the code under test opens and closes each with OK (or
// rejects it where it has no OK), remembering what it showed.
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

    MessageBoxCloser();

    QList<Seen> seen;

private:
    void closeVisibleBoxes();

    QTimer timer;
};
