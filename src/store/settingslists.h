#pragma once

#include <QByteArrayList>
#include <QString>

// Byte-array lists under the group "config" of an INI file read and written through QSettings
// (the byte-array-list variant type is part of the file format). A new settings object is used
// for every read and every write.
namespace SettingsLists {

// "config/" + key as a byte-array list; a missing file or key, or a value that cannot be
// converted, gives an empty list.
QByteArrayList read(const QString &filePath, const QString &key);

// Stores the list under "config/" + key. Before a damaged file is overwritten, a copy of it is
// kept beside it (file name + ".corrupt", then ".corrupt.1", ...), so a damaged file never costs
// the user what it still held.
void write(const QString &filePath, const QString &key, const QByteArrayList &list);

} // namespace SettingsLists
