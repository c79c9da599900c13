#pragma once

#include "generateduiform.h"

// Form of a LoRa OTAA node: application id and key (a LoRa OTAA node has no network id to set), all four sensors.
class FormLoRaOTAA : public GeneratedUiForm<Ui::FormLoRaOTAA>
{
    Q_OBJECT
public:
    explicit FormLoRaOTAA(const Node &node, QWidget *parent = nullptr);
};
