#pragma once

#include "nodeform.h"

#include <memory>

namespace Ui {
class FormSigFox;
}

// Form of a SigFox node: its SigFox id and PAC are only shown, never edited.
class FormSigFox : public NodeForm
{
    Q_OBJECT
public:
    explicit FormSigFox(const Node &node, QWidget *parent = nullptr);
    ~FormSigFox() override;

private:
    std::unique_ptr<Ui::FormSigFox> ui;
};
