#pragma once

#include <QString>
#include <QStringList>

#include <sys/types.h>

// Unix sockets as another local user would hold them, for attacks on the client's own socket.
namespace foreignsocket {

constexpr uid_t nobody = 65534;

// A socket made under uid (only root can): the other end's SO_PEERCRED names that user. Listening
// on path, or connected to it; -1 when it could not be made.
int listenAs(uid_t uid, const QString &path);
int connectAs(uid_t uid, const QString &path);

// The paths a process listens on, as the kernel lists them (/proc/net/unix).
QStringList listeningPaths(qint64 pid);

} // namespace foreignsocket
