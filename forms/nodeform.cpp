#include "nodeform.h"

NodeForm::NodeForm(QWidget *parent)
    : QWidget(parent)
{
}

NodeForm *NodeForm::create(const Node &, QWidget *)
{
    return nullptr; // placeholder until the forms land
}
