#pragma once

#include "node.h"

#include <QList>
#include <QString>

// Checks a write against the node read again after its reset: every setting that went out must come back as
// it was sent, compared at the resolution that crosses the serial line (whole numbers for temperature and
// humidity, hundredths for pressure and acceleration, whole minutes for the report rate, the deciphered
// identifiers as hex in either case). A correct write never shows a mismatch; a node that answered "Set" but
// kept its old value always does.
class WriteVerification
{
public:
    struct Mismatch
    {
        int flag; // the setting's update flag
        QString field; // its name in a profile ("temperature", "appKey")
        QString writtenText; // as sent: "-10 to 50", "12.34", "15"
        QString readText; // as read back
    };

    // `written` is the record as a form emits it (pressure and accelX in operator units) and `flags` the update
    // flags that went out with it; `reread` is the record the link filled after the reset. Empty: verified.
    static QList<Mismatch> compare(const Node &written, int flags, const Node &reread);

    // One line for the log, with the settings' profile names: "temperature written -10 to 50, read -5 to 45".
    static QString describe(const QList<Mismatch> &mismatches);
    // The same line for the operator, in the operator's language and with the settings named as the form names them.
    static QString describeForOperator(const QList<Mismatch> &mismatches);
};
