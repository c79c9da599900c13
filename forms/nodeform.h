#pragma once

#include "node.h"

#include <QString>
#include <QWidget>

// Base of the six node forms: the type under which the window holds the form it shows.
// (Public interface fixed; the shared behaviour of the forms belongs here too.)
class NodeForm : public QWidget
{
    Q_OBJECT
public:
    // The form for the node's firmware type (1 to 6), or nullptr for any other type.
    static NodeForm *create(const Node &node, QWidget *parent = nullptr);

    // The last text the form's lock description edit reported; empty until then. Read at registration.
    QString lockDescriptionText;

protected:
    explicit NodeForm(QWidget *parent = nullptr);
};
