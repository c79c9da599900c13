#pragma once

#include "lotstatistics.h"

#include <QCoreApplication>
#include <QString>

// A lot on one A4 page, for the end of a shift: the lot and its time range, the counts, the first-pass yield, the
// time per unit, the two charts and the failed units with their reasons. Needs a QApplication (the charts are
// widgets' graphics items).
class LotReport
{
    Q_DECLARE_TR_FUNCTIONS(LotReport)
public:
    // Writes the report of statistics (computed from records) to filePath as a PDF. lot names the lot for the
    // heading. False with the reason in error when the file cannot be written.
    static bool write(const QString &filePath, const QString &lot, const QVector<UnitRecord> &records,
        const LotStatistics &statistics, QString *error);
};
