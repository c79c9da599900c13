#pragma once

#include "commissioningsession.h"

#include <QObject>
#include <QPointer>
#include <QQueue>

class QMessageBox;

// Shows the session's notices as modal message boxes without parent, one at a time and in the order they were
// raised, without blocking the caller: the next box opens when the operator closes the one on screen.
class NoticePresenter : public QObject
{
    Q_OBJECT
public:
    explicit NoticePresenter(QObject *parent = nullptr);
    ~NoticePresenter() override;

    void present(const CommissioningSession::Notice &notice);
    // True while a box is on screen or waits for its turn.
    bool isBusy() const { return !onScreen.isNull() || !waiting.isEmpty(); }

signals:
    // The last box was closed and none waits.
    void idle();

private:
    void showNext();

    QQueue<CommissioningSession::Notice> waiting;
    QPointer<QMessageBox> onScreen;
};
