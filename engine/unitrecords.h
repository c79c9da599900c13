#pragma once

#include "journalhistory.h"
#include "unitrecord.h"

#include <QVector>

// The unit records a journal holds, derived from its entries in the order written. A nodeRead (or a
// keyMismatch) opens a record for its port; the record closes when the node sleeps, when the tool sets it aside
// (its firmware, its key, no form for it), or when the node leaves: its port lost, a reset, the port let go, or
// the next node read on the port. A step that fails while the node stays (a refused write, a read back that
// differs, a wrong label, a refused registration) may pass later in the same record, when the operator tries
// again; the unit fails when it ends with a step failed. The node read back after its own write continues its
// record, and a registration delivered later from the outbox completes the record of the unit it belongs to,
// even after the unit went to sleep.
class UnitRecords
{
public:
    // One pass over the entries; records come out in the order their units were read.
    static QVector<UnitRecord> fromEntries(const QVector<JournalEntry> &entries);
    // The records of journal lines as written, for a program that holds the lines rather than a history.
    static QVector<UnitRecord> fromLines(const QList<QByteArray> &lines);
};
