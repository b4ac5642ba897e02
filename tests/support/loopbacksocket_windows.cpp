#include "support/loopbacksocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace loopback {

namespace {

void startWinsock()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    (void)started;
}

SOCKET handle(Socket socket) { return static_cast<SOCKET>(socket); }

// Binds to a free loopback port; the address it got is written back.
bool bindLoopback(SOCKET socket, sockaddr_in &address)
{
    address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    return ::bind(socket, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 &&
           ::getsockname(socket, reinterpret_cast<sockaddr *>(&address), &length) == 0;
}

} // namespace

Socket listenOnFreePort(quint16 *port)
{
    startWinsock();
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address;
    if (listener == INVALID_SOCKET || !bindLoopback(listener, address) || ::listen(listener, 4) != 0) {
        if (listener != INVALID_SOCKET)
            ::closesocket(listener);
        return noSocket;
    }
    *port = ntohs(address.sin_port);
    return Socket(listener);
}

Socket acceptOne(Socket listener)
{
    WSAPOLLFD waiting{handle(listener), POLLRDNORM, 0};
    if (WSAPoll(&waiting, 1, 20) != 1)
        return noSocket;
    const SOCKET client = ::accept(handle(listener), nullptr, nullptr);
    return client == INVALID_SOCKET ? noSocket : Socket(client);
}

long receive(Socket socket, char *bytes, long size)
{
    return ::recv(handle(socket), bytes, int(size), 0);
}

void sendAll(Socket socket, const QByteArray &bytes)
{
    int sent = 0;
    while (sent < bytes.size()) {
        const int n = ::send(handle(socket), bytes.constData() + sent, bytes.size() - sent, 0);
        if (n <= 0)
            return;
        sent += n;
    }
}

void close(Socket socket)
{
    if (socket != noSocket)
        ::closesocket(handle(socket));
}

bool waitForInput(Socket socket, Socket waker, int milliseconds)
{
    WSAPOLLFD ready[2] = {{handle(socket), POLLRDNORM, 0}, {handle(waker), POLLRDNORM, 0}};
    if (WSAPoll(ready, waker != noSocket ? 2 : 1, milliseconds) < 1)
        return false;
    if (ready[1].revents & POLLRDNORM) {
        char bytes[64];
        while (::recv(handle(waker), bytes, sizeof bytes, 0) > 0) {
        }
    }
    return ready[0].revents & (POLLRDNORM | POLLHUP | POLLERR);
}

// Windows has no pipe that WSAPoll waits on: a non-blocking UDP socket connected to itself is
// both ends.
bool makeWaker(Socket pair[2])
{
    startWinsock();
    pair[0] = pair[1] = noSocket;
    const SOCKET waker = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in address;
    u_long nonBlocking = 1;
    if (waker == INVALID_SOCKET || !bindLoopback(waker, address) ||
        ::connect(waker, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::ioctlsocket(waker, FIONBIO, &nonBlocking) != 0) {
        if (waker != INVALID_SOCKET)
            ::closesocket(waker);
        return false;
    }
    pair[0] = pair[1] = Socket(waker);
    return true;
}

void wake(Socket writeEnd)
{
    if (writeEnd != noSocket) {
        const char byte = 1;
        ::send(handle(writeEnd), &byte, 1, 0);
    }
}

void closeWaker(Socket pair[2])
{
    close(pair[0]);
    pair[0] = pair[1] = noSocket;
}

} // namespace loopback
