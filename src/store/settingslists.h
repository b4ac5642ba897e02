#pragma once

#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>

// Parallel byte-array lists under the group "config" of an INI file in QSettings' format (the
// byte-array-list variant type is part of the file format).
//
// A file is damaged when it is larger than any of ours gets, when its text fails the check of
// IniText::parse, when QSettings reads the lists differently from that check, or when two of the
// lists that are there differ in length (entry i of each list belongs to one record, so nothing may
// be paired across). A damaged file reads as empty lists and is copied aside (file name +
// ".corrupt", then ".corrupt.1", ...) before it is replaced, so it never costs the user what it
// still held.
namespace SettingsLists {

constexpr qint64 MaxFileSize = 64 * 1024;
// How long a save waits for another writer's lock file (path + ".lock") before it gives up.
constexpr int LockWaitMs = 3000;

// The lists under "config/" + each key, in the order of `keys`, all of the length of the first
// and at most maxEntries long (no limit when negative). A missing, unreadable or damaged file
// gives empty lists. A key that is missing or holds another type gives empty entries beside the
// others (no entries when it is the first key, whose list names the records).
QList<QByteArrayList> read(const QString &filePath, const QStringList &keys, int maxEntries = -1);

// Replaces the file with one that holds exactly these lists, in one step and owner-only. Returns
// false, with the old file untouched and the reason in the log, when the lock is not had in time,
// the old file cannot be read or copied aside when damaged, or the new one cannot be written.
bool write(const QString &filePath, const QStringList &keys, const QList<QByteArrayList> &lists);

} // namespace SettingsLists
