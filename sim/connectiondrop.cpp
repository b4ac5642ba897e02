#include "sim/connectiondrop.h"

#include <csignal>
#include <sys/socket.h>

namespace sim {

void ignoreBrokenPipes()
{
    // Only when nobody chose otherwise: the default action of SIGPIPE ends the process.
    struct sigaction current {};
    if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL)
        std::signal(SIGPIPE, SIG_IGN);
}

void dropConnection(const SSL *connection)
{
    const int fd = connection ? SSL_get_fd(connection) : -1;
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
}

} // namespace sim
