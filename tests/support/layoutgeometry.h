#pragma once

#include <QStringList>

class QWidget;

// What the operator would not see whole of a window: every visible widget under `root`, down to the controls
// (labels, buttons, edits and the like are not looked into), must lie wholly inside the part of the window its
// ancestors leave visible, and must not overlap a visible sibling. One line per fault, naming the widgets by
// their object names (or classes) and giving their rectangles in window coordinates; empty when all is well.
// Top-level children (menus, dialogs) are windows of their own and are left out.
QStringList layoutFaults(const QWidget *root);

// The widget's object name, or its class where it has none, with those of its ancestors up to the window:
// "MainWindow/centralWidget/serialBox".
QString widgetPath(const QWidget *widget);
