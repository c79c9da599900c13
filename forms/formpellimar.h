#pragma once

#include "nodeform.h"

#include <memory>

namespace Ui {
class FormPellimar;
}

// Form of a Pellimar node: LoRa-style identifiers with a network id, all four sensors.
class FormPellimar : public NodeForm
{
    Q_OBJECT
public:
    explicit FormPellimar(const Node &node, QWidget *parent = nullptr);
    ~FormPellimar() override;

private:
    std::unique_ptr<Ui::FormPellimar> ui;
};
