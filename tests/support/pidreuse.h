#pragma once

#include <QByteArrayList>

#include <sys/types.h>

// Starts `command` as a new session leader under exactly the pid `wanted` (clone3 with set_tid;
// root only), the way an unrelated program may get the pid of one that ended. -1 when the pid is
// taken or the kernel refuses. The caller reaps it.
pid_t spawnWithPid(pid_t wanted, const QByteArrayList &command);
