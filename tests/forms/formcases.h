#pragma once

#include "node.h"
#include "nodebuilders.h"

#include <QLineEdit>
#include <QStringList>
#include <QTest>
#include <QWidget>

// What the tests know about each of the six forms, stated independently of the forms' code.
struct FormCase
{
    Node::eFirmwareType type;
    const char *className;
    QStringList listedEdits; // the edits the operator can change, in the form's order
};

inline QList<FormCase> allFormCases()
{
    return {
        {Node::Pellimar, "FormPellimar",
            {"appIDEdit", "lockDescriptionEdit", "appKeyEdit", "netIDEdit", "tempHighEdit", "tempLowEdit",
                "humidityHighEdit", "humidityLowEdit", "pressureHighEdit", "pressureLowEdit", "accHighEdit",
                "reportRateEdit"}},
        {Node::LoRaOTAA, "FormLoRaOTAA",
            {"appIDEdit", "lockDescriptionEdit", "appKeyEdit", "tempHighEdit", "tempLowEdit", "humidityHighEdit",
                "humidityLowEdit", "pressureHighEdit", "pressureLowEdit", "accHighEdit", "reportRateEdit"}},
        {Node::SigFox, "FormSigFox",
            {"lockDescriptionEdit", "tempHighEdit", "tempLowEdit", "humidityHighEdit", "humidityLowEdit",
                "pressureHighEdit", "pressureLowEdit", "accHighEdit", "reportRateEdit"}},
        {Node::Pellimar5D, "FormPellimar5d",
            {"appIDEdit", "lockDescriptionEdit", "appKeyEdit", "netIDEdit", "tempHighEdit", "tempLowEdit",
                "humidityHighEdit", "humidityLowEdit", "reportRateEdit"}},
        {Node::LoRaOTAA5D, "FormLoRaOTAA5d",
            {"appIDEdit", "lockDescriptionEdit", "appKeyEdit", "tempHighEdit", "tempLowEdit", "humidityHighEdit",
                "humidityLowEdit", "reportRateEdit"}},
        {Node::SigFox5D, "FormSigFox5d",
            {"tempHighEdit", "tempLowEdit", "humidityHighEdit", "humidityLowEdit", "reportRateEdit"}},
    };
}

// One row per form, with the column "type".
inline void addOneRowPerForm()
{
    QTest::addColumn<int>("type");
    for (const FormCase &form : allFormCases())
        QTest::newRow(form.className) << int(form.type);
}

// The columns "type" and "editName" that addEditRow fills, then one of the test's own.
template <typename T> void addEditColumns(const char *valueColumn)
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("editName");
    QTest::addColumn<T>(valueColumn);
}

// Starts a row named after the form and the edit; the caller adds the value column.
inline QTestData &addEditRow(const FormCase &form, const QString &edit)
{
    return QTest::addRow("%s %s", form.className, qPrintable(edit)) << int(form.type) << edit;
}

template <typename T> T *childOf(const QWidget *form, const QString &objectName)
{
    return form->findChild<T *>(objectName);
}

// Replaces the edit's text by typing, the way an operator does: masks and validators act on every keystroke.
inline void retype(QLineEdit *edit, const QString &keys)
{
    edit->setFocus();
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Backspace);
    edit->setCursorPosition(0);
    QTest::keyClicks(edit, keys);
}
