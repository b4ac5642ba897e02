#include "sim/connectiondrop.h"

#include <winsock2.h>

namespace sim {

// Windows sockets raise no signal when the peer has gone: a failed send is only an error code.
void ignoreBrokenPipes() {}

void dropConnection(const SSL *connection)
{
    const int fd = connection ? SSL_get_fd(connection) : -1;
    if (fd >= 0)
        ::shutdown(static_cast<SOCKET>(fd), SD_BOTH);
}

} // namespace sim
