#pragma once

#include "node.h"

#include <QList>
#include <QMap>
#include <QPalette>
#include <QString>
#include <QWidget>

class QLineEdit;
class QValidator;

// Base of the six node forms: the type under which the window holds the form it shows, and the one place
// where the forms' shared way of working lives. A form fills its widgets from a copy of the node, marks every
// edit the operator makes, collects the update flags of the edited fields and, on Apply, emits the edited copy
// with those flags.
//
// The shared behaviour finds the widgets by their object names, which are the same in every form; a form that
// lacks a widget (the network id in the LoRa OTAA forms, pressure in the 5D forms) simply has nothing to show
// or copy there. Each form states only its widget tree, its edit list and the integer range of its validators.
class NodeForm : public QWidget
{
    Q_OBJECT
public:
    // The form for the node's firmware type (1 to 6), or nullptr for any other type.
    static NodeForm *create(const Node &node, QWidget *parent = nullptr);

    // The last text the form's lock description edit reported; the node's own description until then. Read at
    // registration.
    QString lockDescriptionText;

    // True when fields were edited (or filled in by a profile) and not yet applied.
    bool hasUnappliedEdits() const { return flags != 0; }

    // Fills in values the form did not get from the node (a profile's): the fields of `presetFlags` are marked
    // as edited, carry their tooltip and are selected for the next Apply; those of `lockedFlags` become read-only.
    // The values themselves are those of the node the form was built with.
    void preset(int presetFlags, int lockedFlags, const QMap<int, QString> &tooltips);

public slots:
    // Writes the edited fields: emits updateNode with the working copy and the flags collected since the last
    // apply (nothing when no field was edited).
    void applyUpdates();

signals:
    // Emitted by Apply only: the working copy with the edited values (pressure and acceleration in operator
    // units) and the flags of the fields edited since the last apply.
    void updateNode(Node node, int flags);

protected:
    // Integer range of the validators the form's edit list gives the whole-number thresholds.
    enum class IntRange {
        Full, // any int
        PlusMinusHundred // -100 to 100
    };

    NodeForm(const Node &node, QWidget *parent);

    // Runs the rest of the construction once the form's widget tree is set up: hides the thresholds and the
    // busy bar, gives the listed edits their validators, connects Apply and fills the widgets from the node.
    void setUpForm(const QList<QLineEdit *> &editList, IntRange intRange);

    // Called on every change of a listed edit, right after Apply has been enabled.
    virtual void listedEditChanged() { }

    QPalette editedPalette; // text in blue: marks an edited line edit
    QList<QLineEdit *> edits; // the editable line edits, in the form's order
    Node node; // the working copy; pressure and accelX turn into operator units on apply
    int flags; // update flags collected since the last apply

private slots:
    void textEdit();

private:
    QValidator *validatorFor(QLineEdit *edit, int position, IntRange intRange) const;
    void fillFromNode();
    bool identifiersComplete() const;
    void enterApplyingState();
    template <typename T> T *widget(const char *objectName) const { return findChild<T *>(QLatin1String(objectName)); }
};
