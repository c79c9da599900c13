#include "elidedlabel.h"

#include <QFontMetrics>
#include <QHelpEvent>
#include <QPainter>
#include <QStyle>
#include <QToolTip>

namespace {
// What stays readable when the label is squeezed the most: a few characters on either side of the ellipsis.
const char kShortestShown[] = "MMM…MMM";
} // namespace

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

bool ElidedLabel::isElided() const
{
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width() - 2 * margin();
}

QString ElidedLabel::shownText() const
{
    // Measured as the label lays itself out: a text as wide as its room is drawn whole.
    if (!isElided())
        return text();
    return fontMetrics().elidedText(text(), elideMode, contentsRect().width() - 2 * margin());
}

void ElidedLabel::setElideMode(Qt::TextElideMode mode)
{
    elideMode = mode;
    update();
}

void ElidedLabel::setShortestShown(const QString &text)
{
    shortestShown = text;
    updateGeometry();
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    const QString kept
        = shortestShown.isEmpty() ? QString::fromUtf8(kShortestShown) : shortestShown + QStringLiteral("…");
    const int shortest = qMin(metrics.horizontalAdvance(kept), metrics.horizontalAdvance(text()));
    const QMargins margins = contentsMargins();
    return QSize(shortest + margins.left() + margins.right() + 2 * margin(), QLabel::minimumSizeHint().height());
}

bool ElidedLabel::event(QEvent *event)
{
    if (event->type() == QEvent::ToolTip && isElided()) {
        const QString own = toolTip();
        QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(),
            own.isEmpty() || own == text() ? text() : text() + QLatin1Char('\n') + own, this);
        return true;
    }
    return QLabel::event(event);
}

void ElidedLabel::paintEvent(QPaintEvent *event)
{
    if (!isElided()) {
        QLabel::paintEvent(event);
        return;
    }
    QPainter painter(this);
    drawFrame(&painter);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    style()->drawItemText(&painter, room, int(QStyle::visualAlignment(layoutDirection(), alignment())), palette(),
        isEnabled(), shownText(), foregroundRole());
}
