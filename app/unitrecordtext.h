#pragma once

#include "unitrecord.h"

#include <QCoreApplication>
#include <QString>

// The operator's words for what a unit record holds: its steps, their outcomes and the record's outcome.
class UnitRecordText
{
    Q_DECLARE_TR_FUNCTIONS(UnitRecordText)
public:
    static QString step(UnitRecord::Step::Kind kind);
    // A step by the kind name a record keeps for its first failed step ("write"); an unknown name as it is.
    static QString step(const QString &kindName);
    static QString outcome(UnitRecord::Step::Outcome outcome);
    static QString outcome(UnitRecord::Outcome outcome);
    // A failure reason for a chart or a list: "Verification: read back differs". A record that was abandoned has
    // no failed step; its reason says how the node left.
    static QString reason(const QString &step, const QString &reason);
    // The operator's words for the reason word a record keeps ("firmwareTooOld"); a text from the node or the
    // server ("value out of range"), or a word this build does not know, as it is.
    static QString reasonWords(const QString &step, const QString &reason);
    // A time per unit: "42 s", "3 min 05 s".
    static QString duration(qint64 msecs);
    static QString time(qint64 msecs);
};
