#pragma once

#include "generateduiform.h"

// Form of a Pellimar 5D node: LoRa-style identifiers with a network id; a 5D node has no pressure or
// accelerometer thresholds.
class FormPellimar5d : public GeneratedUiForm<Ui::FormPellimar5d>
{
    Q_OBJECT
public:
    explicit FormPellimar5d(const Node &node, QWidget *parent = nullptr);
};
