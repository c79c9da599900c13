#pragma once

#include "generateduiform.h"

// Form of a Pellimar node: LoRa-style identifiers with a network id, all four sensors.
class FormPellimar : public GeneratedUiForm<Ui::FormPellimar>
{
    Q_OBJECT
public:
    explicit FormPellimar(const Node &node, QWidget *parent = nullptr);
};
