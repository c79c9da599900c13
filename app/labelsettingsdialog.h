#pragma once

#include "node.h"

#include <QDialog>
#include <QString>

namespace Ui {
class LabelSettingsDialog;
}

// Settings → Label…: the label's size in millimetres and the printer, with a preview of the label as it would
// be printed for a sample node of the profile in force.
class LabelSettingsDialog : public QDialog
{
    Q_OBJECT
public:
    struct Choice
    {
        double widthMm;
        double heightMm;
        QString printer; // empty: the system's default printer
    };

    // `sample` is the node the preview shows, `profileId` and `lot` what its label carries.
    LabelSettingsDialog(const Choice &current, const Node &sample, const QString &profileId, const QString &lot,
        QWidget *parent = nullptr);
    ~LabelSettingsDialog() override;

    Choice choice() const;

private:
    void showPreview();

    Ui::LabelSettingsDialog *ui;
    Node sampleNode;
    QString labelProfileId;
    QString lotText;
};
