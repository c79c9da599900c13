#pragma once

#include <QtGlobal>

// The process's memory as the kernel counts it in /proc/self/status.
namespace MemoryProbe {

// The value of a "<field>" line in KiB ("VmRSS:", "VmHWM:"), or -1 where the file or the field is missing.
qint64 statusKiB(const char *field);

qint64 residentKiB();
qint64 peakResidentKiB();

// Starts a new high-water mark of the resident size at the current size; false where the kernel refuses.
bool resetPeakResident();

} // namespace MemoryProbe
