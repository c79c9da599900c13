#pragma once

#include "generateduiform.h"

// Form of a LoRa OTAA 5D node: application id and key; no pressure or accelerometer thresholds.
class FormLoRaOTAA5d : public GeneratedUiForm<Ui::FormLoRaOTAA5d>
{
    Q_OBJECT
public:
    explicit FormLoRaOTAA5d(const Node &node, QWidget *parent = nullptr);
};
