#pragma once

#include <QString>

// Folders and files that only their owner may read: the day logs and the tunnel program's log
// name accounts, TAP serials, gateways and the tunnel's timeline.
namespace OwnerOnly {

// Creates the folder (one level, rwx for the owner only) when it is missing. True when a folder
// (not a link) is there afterwards.
bool makeFolder(const QString &path);

// Takes every right of the group and of others off the folder and off the files directly in it,
// where they are this user's. Links are neither followed nor changed.
void tightenFolder(const QString &path);

} // namespace OwnerOnly
