#pragma once

#include "node.h"

#include <QString>

#include <optional>

// The eight writable settings of a node record at the resolution that crosses the serial line: what the write
// commands would send for a record a form emits, or what the node printed for a record the link read. Two
// records whose settings are equal here are the same to the node, so comparisons made on these values never
// report a difference that a write could not change, nor miss one it would.
class WireSettings
{
public:
    // A record as a form emits it: pressure and accelX in operator units, converted the way the threshold
    // write converts them (whole numbers truncated, hundredths scaled from the value as typed, minutes through
    // the milliseconds the node stores).
    static WireSettings ofWritten(const Node &node);
    // A record as the link read it: thresholds exactly as the node printed them (pressure and accelX already
    // in hundredths), the rate in the whole minutes the read gives.
    static WireSettings ofRead(const Node &node);

    // True when the setting selected by one update flag is the same in both; a setting without a value (a
    // threshold never read, or NaN written) is never the same as anything.
    bool sameAs(const WireSettings &other, int flag) const;
    // The setting selected by one update flag as the operator reads it: "-10 to 50", "2.5 to 12.34", "1.5",
    // "15", the hex of an identifier; "none" for a missing value. An application key shows only its first and
    // last four digits, so that a report never spells a key out.
    QString text(int flag) const;

    // The name of the setting selected by one update flag, as a profile spells it ("temperature").
    static QString fieldName(int flag);
    // The eight update flags in the order the node is written.
    static const int kFlagsInWriteOrder[8];

    // Hundredths as a decimal number without trailing zeros: 1234 gives "12.34", 250 "2.5", -5 "-0.05".
    static QString hundredthsText(qint32 hundredths);

private:
    // How two values of the setting selected by one update flag compare, and how it reads.
    struct Field;
    static const Field kFields[8];
    static const Field *fieldOf(int flag);

    struct Pair
    {
        std::optional<qint32> low;
        std::optional<qint32> high;
        bool operator==(const Pair &other) const { return low && high && low == other.low && high == other.high; }
    };

    QString appId;
    QString appKey;
    QString netId;
    Pair temperature;
    Pair humidity;
    Pair pressure; // hundredths
    std::optional<qint32> accelX; // hundredths
    qint32 reportRateMinutes = 0;
};
