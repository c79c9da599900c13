#pragma once

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QVector>

// What one node went through at the bench, from its read until it was set aside, put to sleep or replaced by
// the next node on its port: one attempt at commissioning one unit. Records are derived from the journal, never
// written on their own, so that a record can always be rebuilt from what the bench wrote; a unit commissioned
// twice has two records.
struct UnitRecord
{
    // The version of the record's JSON form; raised when a field changes meaning or goes.
    static constexpr int kFormat = 1;

    // One value a step measured, with its limits where the profile or the protocol sets any.
    struct Measurement
    {
        QString name; // "temperatureHigh", "reportRate", "nodeVersion", a mismatching field
        QString value; // as read (or as written, for a write)
        QString low; // the lower limit, empty for none
        QString high; // the upper limit, empty for none
        QString expected; // the value the profile or the write asked for, empty for none
        bool passed = true;
    };

    struct Step
    {
        enum class Kind { Read, FirmwareGate, ProfileComparison, Write, Verification, LabelCheck, Registration, Sleep };
        enum class Outcome { Passed, Failed, Skipped, NotReached };

        Kind kind = Kind::Read;
        Outcome outcome = Outcome::NotReached;
        qint64 startMsecs = 0; // UTC milliseconds since the epoch; 0 when not reached
        qint64 endMsecs = 0;
        QString reason; // why it failed (a journal reason such as "refused", or a short text), empty otherwise
        QVector<Measurement> measurements;

        qint64 durationMsecs() const { return endMsecs > startMsecs ? endMsecs - startMsecs : 0; }
        static QString kindName(Kind kind); // "read", "firmwareGate", "profileComparison", ...
        static QString outcomeName(Outcome outcome); // "passed", "failed", "skipped", "notReached"
    };

    enum class Outcome {
        Passed, // verified where the profile asks it, registered, asleep
        Failed, // a step failed: failureReason names the first one
        Abandoned, // the node left (unplugged, replaced, reset) before the end
        Open, // the record's last entry is the journal's last: the node may still be on the bench
    };

    QString identity; // DevEUI, or SigFox ID; empty for a node whose identifiers did not decipher
    bool sigfox = false;
    int type = -1; // the node's communication type number, -1 when not read
    QString typeName; // "LoRa OTAA 5D"
    QString lot;
    QString bench; // the bench's name (the host name unless one is set)
    QString port; // the slot: the serial port the node was read on
    QString operatorName; // the login user name; never a password
    QString toolVersion;
    QString keyFingerprint;
    QString profileName;
    QString profileSha256; // of the profile file as loaded, hex
    qint64 startMsecs = 0; // UTC milliseconds since the epoch
    qint64 endMsecs = 0;
    int attempt = 1; // 1 for the unit's first record, 2 for the next one of the same identity, ...
    QVector<Step> steps; // in the order above; steps not reached are listed as such
    Outcome outcome = Outcome::Open;
    QString failureStep; // the kind name of the first failed step
    QString failureReason; // its reason; for an abandoned unit, what ended it

    qint64 durationMsecs() const { return endMsecs > startMsecs ? endMsecs - startMsecs : 0; }
    static QString outcomeName(Outcome outcome); // "passed", "failed", "abandoned", "open"

    // The record as one JSON object, with "format": kFormat; the README describes each field.
    QJsonObject toJson() const;
};
