#include "support/pidreuse.h"

#include <linux/sched.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <vector>

pid_t spawnWithPid(pid_t wanted, const QByteArrayList &command)
{
    // Everything the child needs is made before the clone: it may only call exec-safe functions.
    std::vector<char *> arguments;
    for (const QByteArray &word : command)
        arguments.push_back(const_cast<char *>(word.constData()));
    arguments.push_back(nullptr);
    pid_t tid[1] = {wanted};
    clone_args args{};
    args.set_tid = reinterpret_cast<__u64>(tid);
    args.set_tid_size = 1;
    args.exit_signal = SIGCHLD;
    const long pid = ::syscall(SYS_clone3, &args, sizeof args);
    if (pid == 0) {
        ::setsid();
        ::execvp(arguments[0], arguments.data());
        ::_exit(127);
    }
    return pid > 0 ? pid_t(pid) : -1;
}
