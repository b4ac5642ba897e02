#include "support/loopbacksocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace loopback {

Socket listenOnFreePort(quint16 *port)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (listener >= 0)
            ::close(listener);
        return noSocket;
    }
    *port = ntohs(address.sin_port);
    return listener;
}

Socket acceptOne(Socket listener)
{
    pollfd waiting{int(listener), POLLIN, 0};
    if (::poll(&waiting, 1, 20) != 1)
        return noSocket;
    const int client = ::accept4(int(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return client < 0 ? noSocket : client;
}

long receive(Socket socket, char *bytes, long size)
{
    return long(::recv(int(socket), bytes, size_t(size), 0));
}

void sendAll(Socket socket, const QByteArray &bytes)
{
    qint64 sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(int(socket), bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}

void close(Socket socket)
{
    if (socket != noSocket)
        ::close(int(socket));
}

bool waitForInput(Socket socket, Socket waker, int milliseconds)
{
    pollfd ready[2] = {{int(socket), POLLIN, 0}, {int(waker), POLLIN, 0}};
    if (::poll(ready, waker != noSocket ? 2 : 1, milliseconds) < 1)
        return false;
    if (ready[1].revents & POLLIN) {
        char bytes[64];
        while (::read(int(waker), bytes, sizeof bytes) > 0) {
        }
    }
    return ready[0].revents & (POLLIN | POLLHUP | POLLERR);
}

bool makeWaker(Socket pair[2])
{
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
        pair[0] = pair[1] = noSocket;
        return false;
    }
    pair[0] = ends[0];
    pair[1] = ends[1];
    return true;
}

void wake(Socket writeEnd)
{
    if (writeEnd != noSocket) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(int(writeEnd), &byte, 1);
    }
}

void closeWaker(Socket pair[2])
{
    close(pair[0]);
    close(pair[1]);
    pair[0] = pair[1] = noSocket;
}

} // namespace loopback
