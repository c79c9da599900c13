#pragma once

#include "generateduiform.h"

// Form of a SigFox node: its SigFox id and PAC are only shown, never edited.
class FormSigFox : public GeneratedUiForm<Ui::FormSigFox>
{
    Q_OBJECT
public:
    explicit FormSigFox(const Node &node, QWidget *parent = nullptr);
};
