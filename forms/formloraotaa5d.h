#pragma once

#include "nodeform.h"

#include <memory>

namespace Ui {
class FormLoRaOTAA5d;
}

// Form of a LoRa OTAA 5D node: application id and key; no pressure or accelerometer thresholds.
class FormLoRaOTAA5d : public NodeForm
{
    Q_OBJECT
public:
    explicit FormLoRaOTAA5d(const Node &node, QWidget *parent = nullptr);
    ~FormLoRaOTAA5d() override;

private:
    std::unique_ptr<Ui::FormLoRaOTAA5d> ui;
};
