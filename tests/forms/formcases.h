#pragma once

#include "node.h"

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

inline bool isSigFoxType(int type)
{
    return type == Node::SigFox || type == Node::SigFox5D;
}

// A node as the link reads it from a typical device: thresholds exactly as the node prints them, pressure and
// acceleration in hundredths.
inline Node sampleNode(Node::eFirmwareType type)
{
    Node node;
    node.firmwareType = type;
    node.deviceType = type >= Node::Pellimar5D ? 3 : 1;
    node.deviceCommunication = (int(type) - 1) % 3 + 1;
    node.nodeVersion = QStringLiteral("v%1.0.2").arg(int(type));
    node.moduleVersion = QStringLiteral("1.4");
    node.loraVersion = QStringLiteral("4.2.1");
    if (isSigFoxType(type)) {
        node.euid = QStringLiteral("C0FFEE");
        node.pac = QStringLiteral("0123456789ABCDEF");
    } else {
        node.euid = QStringLiteral("70B3D57ED0000A01");
        node.appId = QStringLiteral("0004A30B001C0A00");
        node.appKey = QStringLiteral("2B7E151628AED2A6ABF7158809CF4F3C");
        node.netId = QStringLiteral("00000013");
    }
    node.thresholds.temperatureHigh = 50;
    node.thresholds.temperatureLow = -10;
    node.thresholds.humidityHigh = 90;
    node.thresholds.humidityLow = 10;
    node.thresholds.pressureHigh = 1234;
    node.thresholds.pressureLow = 250;
    node.thresholds.accelX = 150;
    node.thresholds.accelY = 3;
    node.thresholds.accelZ = 4;
    node.thresholds.accelD = 128;
    node.reportRate = 15;
    return node;
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
