#pragma once

#include <QString>
#include <QStringList>

// Keeps the newest day files of the log directory; run once at start-up, before the day log
// handler is installed. Retention is by count of the day numbers in the names, not by age.
class DayLogCleaner {
public:
    static constexpr int KeptDayLogs = 7;

    // Base names (the part before the first '.') of the visible files matching "*.txt" or "*.ini",
    // in the directory's own listing order; empty when the directory does not exist.
    QStringList listDayLogNames(const QString &dirPath) const;

    // Deletes the day files "<number>.txt" of all but the KeptDayLogs highest day numbers. A name
    // that is not a number counts as day 0. Only plain files are ever deleted.
    void pruneDayLogs(const QString &dirPath) const;
};
