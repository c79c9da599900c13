#pragma once

#include "journalhistory.h"
#include "unitrecord.h"

#include <QVector>

// Where the window's lot view and the lot report get their unit records from: the journal's entries, read once.
class UnitRecordSource
{
public:
    // The records of the journal's entries, oldest first.
    static QVector<UnitRecord> fromEntries(const QVector<JournalEntry> &entries);
};
