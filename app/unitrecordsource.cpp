#include "unitrecordsource.h"

QVector<UnitRecord> UnitRecordSource::fromEntries(const QVector<JournalEntry> &entries)
{
    // DERIVATION GOES HERE: the records are derived from the journal by the unit records' own derivation
    // (return UnitRecords::fromEntries(entries);). Until that is merged there are none.
    Q_UNUSED(entries)
    return {};
}
