#include "noticepresenter.h"

#include <QMessageBox>

namespace {
QMessageBox::Icon iconFor(CommissioningSession::Notice::Level level)
{
    switch (level) {
    case CommissioningSession::Notice::Level::Information:
        return QMessageBox::Information;
    case CommissioningSession::Notice::Level::Warning:
        return QMessageBox::Warning;
    case CommissioningSession::Notice::Level::Critical:
        break;
    }
    return QMessageBox::Critical;
}
} // namespace

NoticePresenter::NoticePresenter(QObject *parent)
    : QObject(parent)
{
}

NoticePresenter::~NoticePresenter()
{
    delete onScreen.data();
}

void NoticePresenter::present(const CommissioningSession::Notice &notice)
{
    waiting.enqueue(notice);
    if (!onScreen)
        showNext();
}

void NoticePresenter::showNext()
{
    if (onScreen)
        return;
    if (waiting.isEmpty()) {
        emit idle();
        return;
    }
    const CommissioningSession::Notice notice = waiting.dequeue();
    auto *box = new QMessageBox(iconFor(notice.level), notice.title, notice.text, QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    if (!notice.detail.isEmpty())
        box->setInformativeText(notice.detail);
    // Modal for the whole application, like a box run in its own loop, but the caller goes on at once.
    box->setWindowModality(Qt::ApplicationModal);
    connect(box, &QMessageBox::finished, this, [this] {
        onScreen.clear();
        // Not from inside the closing box's own signal.
        QMetaObject::invokeMethod(this, &NoticePresenter::showNext, Qt::QueuedConnection);
    });
    onScreen = box;
    box->open();
}
