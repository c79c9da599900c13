#pragma once

#include "nodeform.h"

#include <memory>

// The Designer classes of the six forms, declared here so that each form's header needs only this one.
namespace Ui {
class FormLoRaOTAA;
class FormLoRaOTAA5d;
class FormPellimar;
class FormPellimar5d;
class FormSigFox;
class FormSigFox5d;
}

// A node form built from its Designer class: owns the generated Ui object and sets the widget tree up before
// the form's own constructor runs. The Ui class needs to be complete only where the form is constructed (the
// form's source file), so the form's header can name it by the declarations below.
template <typename UiForm> class GeneratedUiForm : public NodeForm
{
protected:
    GeneratedUiForm(const Node &node, QWidget *parent)
        : NodeForm(node, parent)
        , ui(new UiForm, [](UiForm *generated) { delete generated; })
    {
        ui->setupUi(this);
    }

    std::unique_ptr<UiForm, void (*)(UiForm *)> ui;
};
