#pragma once

#include <QByteArray>
#include <cstdint>

// The few socket calls the fake management server makes, for both systems: a listener on a free
// loopback port, blocking reads and writes, a wait on two sockets, and a waker that ends a wait
// from another thread.
namespace loopback {

using Socket = std::intptr_t;
constexpr Socket noSocket = -1;

Socket listenOnFreePort(quint16 *port);
Socket acceptOne(Socket listener);
// Reading bytes of at most `size`; 0 when the peer has gone, -1 on an error.
long receive(Socket socket, char *bytes, long size);
void sendAll(Socket socket, const QByteArray &bytes);
void close(Socket socket);

// Waits up to `milliseconds` until `socket` has input (or was closed) or `waker` was woken; true
// when `socket` is ready. A waker that was woken is drained.
bool waitForInput(Socket socket, Socket waker, int milliseconds);

// A pair of sockets or pipe ends: wake(pair[1]) ends a waitForInput(…, pair[0], …).
bool makeWaker(Socket pair[2]);
void wake(Socket writeEnd);
void closeWaker(Socket pair[2]);

} // namespace loopback
