#pragma once

#include <QString>

// The permission bits of a file or folder as the file system tells them, -1 when it is missing.
// On Windows, read from the entry's ACL: 0600 (a folder: 0700) when it grants the current user
// alone, through a protected ACL, and 0666 (0777) otherwise.
int permissionBits(const QString &path);
