#pragma once

#include "databaseaddress.h"
#include "journalhistory.h"

#include <QString>

// Every bench's journal as the shared database holds it, read back into the structures a bench's own journal is
// read into: one history whose entries say their bench, from which the rows per node and the unit records are
// made as for one journal. Reading blocks; call it off the GUI thread.
namespace SharedHistory {

// Reads all entries of all benches, in the order they were written (by time; one bench's entries of one
// millisecond in its own order), into `history`. Benches are named as they call themselves; two benches of one
// name are told apart by the start of their ids. A database no bench has written to yet gives an empty history.
// Returns false with `*problem` said for the operator when the database cannot be reached or read, or when its
// schema is newer than this tool knows.
bool read(const DatabaseAddress &address, const QString &password, JournalHistory *history, QString *problem);

} // namespace SharedHistory
