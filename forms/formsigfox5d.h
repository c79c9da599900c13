#pragma once

#include "generateduiform.h"

// Form of a SigFox 5D node: SigFox id and PAC shown, temperature, humidity and report rate edited. Editing a
// threshold or the report rate has the window disable Register and Activate until the node is read again.
class FormSigFox5d : public GeneratedUiForm<Ui::FormSigFox5d>
{
    Q_OBJECT
public:
    explicit FormSigFox5d(const Node &node, QWidget *parent = nullptr);

signals:
    void enableRegisterActivateButton(bool enabled);

protected:
    void listedEditChanged() override;
};
