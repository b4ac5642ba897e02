#pragma once

#include <QByteArray>
#include <QString>

// Replacing a small file so that it is either the old one or the complete new one, never a part.
namespace AtomicFile {

// Synced: the new content is on the disk before the call returns (stored settings). Unsynced:
// only the replacement itself is atomic (files rewritten before every use, like the tunnel's).
enum class Durability { Synced, Unsynced };

// Writes `content` to a new owner-only file beside `path`, flushes it to the disk (when Synced)
// and renames it over `path` (which thereby becomes owner-only as well). When any step fails the
// new file is removed, `path` is left as it was, and `error` tells why.
bool replace(const QString &path, const QByteArray &content, QString *error = nullptr,
             Durability durability = Durability::Synced);

} // namespace AtomicFile
