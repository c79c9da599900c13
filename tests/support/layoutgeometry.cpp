#include "layoutgeometry.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QSizeGrip>
#include <QTabBar>
#include <QWidget>

namespace {

// A control draws its own inside; its children (a line edit's clear button, a combo box's list) are its own
// business.
bool isControl(const QWidget *widget)
{
    return qobject_cast<const QAbstractButton *>(widget) || qobject_cast<const QLineEdit *>(widget)
        || qobject_cast<const QComboBox *>(widget) || qobject_cast<const QAbstractSpinBox *>(widget)
        || qobject_cast<const QLabel *>(widget) || qobject_cast<const QProgressBar *>(widget)
        || qobject_cast<const QAbstractSlider *>(widget) || qobject_cast<const QTabBar *>(widget)
        || qobject_cast<const QMenuBar *>(widget) || qobject_cast<const QSizeGrip *>(widget);
}

QString describe(const QWidget *widget, const QRect &inWindow)
{
    return QStringLiteral("%1 (%2,%3 %4x%5)")
        .arg(widgetPath(widget))
        .arg(inWindow.x())
        .arg(inWindow.y())
        .arg(inWindow.width())
        .arg(inWindow.height());
}

// A label with nothing to show may be squeezed to nothing without anything being lost.
bool showsNothing(const QWidget *widget)
{
    const auto *label = qobject_cast<const QLabel *>(widget);
    return label && label->text().isEmpty() && label->pixmap(Qt::ReturnByValue).isNull() && !label->movie();
}

QRect inWindow(const QWidget *widget)
{
    return QRect(widget->mapTo(widget->window(), QPoint(0, 0)), widget->size());
}

// `visible` is the part of the window that the widget's ancestors leave visible, in window coordinates.
void collectFaults(const QWidget *parent, const QRect &visible, QStringList &faults)
{
    QList<const QWidget *> shown;
    for (const QObject *object : parent->children()) {
        const auto *child = qobject_cast<const QWidget *>(object);
        if (!child || child->isWindow() || !child->isVisibleTo(parent->window()))
            continue;
        shown << child;
        const QRect area = inWindow(child);
        if (showsNothing(child))
            continue;
        if (area.isEmpty() || !visible.contains(area)) {
            faults << QStringLiteral("%1 is not wholly inside the visible %2,%3 %4x%5")
                          .arg(describe(child, area))
                          .arg(visible.x())
                          .arg(visible.y())
                          .arg(visible.width())
                          .arg(visible.height());
        }
        if (!isControl(child))
            collectFaults(child, visible & area, faults);
    }
    for (int i = 0; i < shown.size(); ++i) {
        for (int j = i + 1; j < shown.size(); ++j) {
            if (shown.at(i)->geometry().intersects(shown.at(j)->geometry())) {
                faults << QStringLiteral("%1 overlaps %2")
                              .arg(describe(shown.at(i), inWindow(shown.at(i))),
                                  describe(shown.at(j), inWindow(shown.at(j))));
            }
        }
    }
}

} // namespace

QString widgetPath(const QWidget *widget)
{
    QStringList names;
    for (const QWidget *at = widget; at; at = at->isWindow() ? nullptr : at->parentWidget())
        names.prepend(
            at->objectName().isEmpty() ? QString::fromLatin1(at->metaObject()->className()) : at->objectName());
    return names.join(QLatin1Char('/'));
}

QStringList layoutFaults(const QWidget *root)
{
    QStringList faults;
    const QRect rootArea = inWindow(root);
    // The root itself must be visible in its window; a window is visible as far as it reaches.
    const QRect visible = root->isWindow() ? root->rect() : rootArea & root->window()->rect();
    if (!root->isWindow() && !visible.contains(rootArea))
        faults << describe(root, rootArea) + QStringLiteral(" is not wholly inside its window");
    collectFaults(root, visible, faults);
    return faults;
}
