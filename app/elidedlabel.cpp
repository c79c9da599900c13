#include "elidedlabel.h"

#include <QEvent>
#include <QFontMetrics>
#include <QResizeEvent>

namespace {
// What stays readable when the label is squeezed the most: a few characters on either side of the ellipsis.
const char kShortestShown[] = "MMM…MMM";
} // namespace

ElidedLabel::ElidedLabel(QWidget *parent)
    : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void ElidedLabel::setFullText(const QString &text)
{
    whole = text;
    updateGeometry();
    fit();
}

QSize ElidedLabel::minimumSizeHint() const
{
    const QFontMetrics metrics(font());
    const int shortest = metrics.horizontalAdvance(QString::fromUtf8(kShortestShown));
    const int wholeWidth = metrics.horizontalAdvance(whole);
    const QMargins margins = contentsMargins();
    return QSize(qMin(shortest, wholeWidth) + margins.left() + margins.right() + 2 * margin(),
        QLabel::minimumSizeHint().height());
}

QSize ElidedLabel::sizeHint() const
{
    const QFontMetrics metrics(font());
    const QMargins margins = contentsMargins();
    return QSize(metrics.horizontalAdvance(whole) + margins.left() + margins.right() + 2 * margin(),
        QLabel::sizeHint().height());
}

void ElidedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    fit();
}

void ElidedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        fit();
}

void ElidedLabel::fit()
{
    const int room = contentsRect().width() - 2 * margin();
    const QString shown = QFontMetrics(font()).elidedText(whole, Qt::ElideMiddle, room);
    if (shown == text())
        return;
    setText(shown);
    setToolTip(shown == whole ? QString() : whole);
}
