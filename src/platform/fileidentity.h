#pragma once

#include <QString>
#include <QtGlobal>

// The identity of this user's regular file at the path (not followed if it is a link), or 0 when
// there is none: a file renamed into place is another file than the one it replaced.
quint64 ownRegularFileIdentity(const QString &path);
