#pragma once

#include "nodeform.h"

#include <memory>

namespace Ui {
class FormLoRaOTAA;
}

// Form of a LoRa OTAA node: application id and key (a LoRa OTAA node has no network id to set), all four sensors.
class FormLoRaOTAA : public NodeForm
{
    Q_OBJECT
public:
    explicit FormLoRaOTAA(const Node &node, QWidget *parent = nullptr);
    ~FormLoRaOTAA() override;

private:
    std::unique_ptr<Ui::FormLoRaOTAA> ui;
};
