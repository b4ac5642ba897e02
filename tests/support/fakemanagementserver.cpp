#include "support/fakemanagementserver.h"

#include "tunnel/logic/managementendpoint.h"

#include <QFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
void sendAll(int fd, const QByteArray &bytes)
{
    qint64 sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        sent += n;
    }
}
} // namespace

FakeManagementServer::FakeManagementServer()
{
    listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(listener, 4) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        if (listener >= 0)
            ::close(listener);
        listener = -1;
        return;
    }
    listenPort = ntohs(address.sin_port);
    if (::pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        wakePipe[0] = wakePipe[1] = -1;
    ManagementEndpoint endpoint;
    endpoint.port = listenPort;
    setManagementEndpoint(endpoint);
    worker = std::thread([this] { run(); });
}

FakeManagementServer::~FakeManagementServer()
{
    stopping = true;
    if (worker.joinable())
        worker.join();
    if (listener >= 0)
        ::close(listener);
    for (const int fd : wakePipe) {
        if (fd >= 0)
            ::close(fd);
    }
    setManagementEndpoint(ManagementEndpoint());
}

void FakeManagementServer::expectPasswordFrom(const QString &file)
{
    std::lock_guard<std::mutex> lock(mutex);
    passwordFile = file;
}

void FakeManagementServer::setCurrentState(const QByteArray &line)
{
    std::lock_guard<std::mutex> lock(mutex);
    stateLine = line;
}

void FakeManagementServer::send(const QByteArray &bytes)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        outgoing += bytes;
    }
    wake();
}

void FakeManagementServer::wake()
{
    if (wakePipe[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakePipe[1], &byte, 1);
    }
}

std::chrono::steady_clock::time_point FakeManagementServer::lastSentAt() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return sentAt;
}

QByteArrayList FakeManagementServer::commands() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return received;
}

QByteArray FakeManagementServer::take(QByteArray &pending)
{
    std::lock_guard<std::mutex> lock(mutex);
    QByteArray bytes;
    bytes.swap(pending);
    return bytes;
}

void FakeManagementServer::run()
{
    while (!stopping) {
        pollfd waiting{listener, POLLIN, 0};
        if (::poll(&waiting, 1, 20) != 1)
            continue;
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            continue;
        ++accepted;
        serve(client);
        ::close(client);
        authenticated = false;
    }
}

void FakeManagementServer::serve(int client)
{
    sendAll(client, "ENTER PASSWORD:");
    QByteArray input;
    bool passwordChecked = false;
    while (!stopping) {
        if (passwordChecked) {
            const QByteArray pushed = take(outgoing);
            if (!pushed.isEmpty()) {
                sendAll(client, pushed);
                std::lock_guard<std::mutex> lock(mutex);
                sentAt = std::chrono::steady_clock::now();
            }
        }
        pollfd ready[2] = {{client, POLLIN, 0}, {wakePipe[0], POLLIN, 0}};
        if (::poll(ready, wakePipe[0] >= 0 ? 2 : 1, 20) < 1)
            continue;
        if (ready[1].revents & POLLIN) {
            char bytes[64];
            while (::read(wakePipe[0], bytes, sizeof bytes) > 0) {
            }
        }
        if (!(ready[0].revents & (POLLIN | POLLHUP | POLLERR)))
            continue;
        char buffer[4096];
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0)
            return;
        input.append(buffer, int(n));
        for (int end = input.indexOf('\n'); end >= 0; end = input.indexOf('\n')) {
            const QByteArray line = input.left(end).trimmed();
            input.remove(0, end + 1);
            if (!passwordChecked) {
                QString file;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    file = passwordFile;
                }
                QFile stored(file);
                const QByteArray expected = stored.open(QIODevice::ReadOnly) ? stored.readLine().trimmed() : QByteArray();
                if (!anyPassword && (expected.isEmpty() || line != expected)) {
                    ++rejected;
                    sendAll(client, "ERROR: bad password\r\n");
                    return;
                }
                passwordChecked = true;
                authenticated = true;
                sendAll(client, "SUCCESS: password is correct\r\n"
                                ">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n");
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                received.append(line);
            }
            if (line == "state on") {
                sendAll(client, "SUCCESS: real-time state notification set to ON\r\n");
            } else if (line == "state") {
                QByteArray state;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    state = stateLine;
                }
                sendAll(client, state + "\r\nEND\r\n");
            }
        }
    }
}
