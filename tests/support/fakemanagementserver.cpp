#include "support/fakemanagementserver.h"

#include "tunnel/logic/managementendpoint.h"

#include <QFile>

#include "support/loopbacksocket.h"

FakeManagementServer::FakeManagementServer()
{
    listener = loopback::listenOnFreePort(&listenPort);
    if (listener == loopback::noSocket)
        return;
    loopback::makeWaker(waker);
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
    loopback::close(listener);
    loopback::closeWaker(waker);
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
    loopback::wake(waker[1]);
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
        const loopback::Socket client = loopback::acceptOne(listener);
        if (client == loopback::noSocket)
            continue;
        ++accepted;
        serve(client);
        loopback::close(client);
        authenticated = false;
    }
}

void FakeManagementServer::serve(loopback::Socket client)
{
    loopback::sendAll(client, "ENTER PASSWORD:");
    QByteArray input;
    bool passwordChecked = false;
    while (!stopping) {
        if (passwordChecked) {
            const QByteArray pushed = take(outgoing);
            if (!pushed.isEmpty()) {
                loopback::sendAll(client, pushed);
                std::lock_guard<std::mutex> lock(mutex);
                sentAt = std::chrono::steady_clock::now();
            }
        }
        if (!loopback::waitForInput(client, waker[0], 20))
            continue;
        char buffer[4096];
        const long n = loopback::receive(client, buffer, sizeof buffer);
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
                    loopback::sendAll(client, "ERROR: bad password\r\n");
                    return;
                }
                passwordChecked = true;
                authenticated = true;
                loopback::sendAll(client, "SUCCESS: password is correct\r\n"
                                ">INFO:OpenVPN Management Interface Version 5 -- type 'help' for more info\r\n");
                continue;
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                received.append(line);
            }
            if (line == "state on") {
                loopback::sendAll(client, "SUCCESS: real-time state notification set to ON\r\n");
            } else if (line == "state") {
                QByteArray state;
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    state = stateLine;
                }
                loopback::sendAll(client, state + "\r\nEND\r\n");
            }
        }
    }
}
