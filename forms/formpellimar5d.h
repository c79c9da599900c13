#pragma once

#include "nodeform.h"

#include <memory>

namespace Ui {
class FormPellimar5d;
}

// Form of a Pellimar 5D node: LoRa-style identifiers with a network id; a 5D node has no pressure or
// accelerometer thresholds.
class FormPellimar5d : public NodeForm
{
    Q_OBJECT
public:
    explicit FormPellimar5d(const Node &node, QWidget *parent = nullptr);
    ~FormPellimar5d() override;

private:
    std::unique_ptr<Ui::FormPellimar5d> ui;
};
