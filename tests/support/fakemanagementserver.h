#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include "support/loopbacksocket.h"
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

// Test stand-in for the tunnel program's management interface (the real one is OpenVPN's; the
// end-to-end tests use that). It listens on a free loopback port on a thread of its own, because
// the client waits for the channel while blocking its thread, and speaks the protocol the client
// relies on: "ENTER PASSWORD:" (checked against the password file the launch named), the
// password answer and greeting, the answers to "state on" and "state", and notifications pushed
// by the test. Installs itself as the management endpoint while it lives.
// Lines the fake tunnel program answers or sends, as OpenVPN writes them.
namespace fakeTunnel {
inline const QByteArray waitState = "1700000000,WAIT,,,,,,";
inline const QByteArray connectedState = "1700000000,CONNECTED,SUCCESS,10.8.0.6,127.0.0.1,1194,,,";
inline const QByteArray dropNotification = ">STATE:1700000001,RECONNECTING,connection-reset,,,,,\r\n";
} // namespace fakeTunnel

class FakeManagementServer {
public:
    FakeManagementServer();
    ~FakeManagementServer();
    FakeManagementServer(const FakeManagementServer &) = delete;
    FakeManagementServer &operator=(const FakeManagementServer &) = delete;

    bool isListening() const { return listener != loopback::noSocket; }
    quint16 port() const { return listenPort; }

    // The password file of the launch being served (the host layer hands it over).
    void expectPasswordFrom(const QString &passwordFile);
    // The state line answered to "state" (the text before "\r\nEND\r\n"), e.g.
    // "1700000000,CONNECTED,SUCCESS,10.8.0.6,10.213.0.1,1194,,,".
    void setCurrentState(const QByteArray &line);
    // Takes any password, as a listener of someone else on the port would.
    void acceptAnyPassword() { anyPassword = true; }
    // Sent as is to the connected client (queued until one is connected and authenticated).
    void send(const QByteArray &bytes);

    QByteArrayList commands() const;   // lines received after the password, without line ends
    int connections() const { return accepted.load(); }
    int passwordsRejected() const { return rejected.load(); }
    bool clientAuthenticated() const { return authenticated.load(); }
    // When bytes given to send() last went onto the wire.
    std::chrono::steady_clock::time_point lastSentAt() const;

private:
    void run();
    void serve(loopback::Socket client);
    QByteArray take(QByteArray &pending);

    void wake();

    loopback::Socket listener = loopback::noSocket;
    loopback::Socket waker[2] = {loopback::noSocket, loopback::noSocket}; // send() wakes the serving thread at once
    quint16 listenPort = 0;
    std::thread worker;
    std::atomic<bool> stopping{false};
    std::atomic<int> accepted{0};
    std::atomic<int> rejected{0};
    std::atomic<bool> authenticated{false};
    std::atomic<bool> anyPassword{false};
    mutable std::mutex mutex;
    QString passwordFile;
    QByteArray stateLine = QByteArrayLiteral("1700000000,WAIT,,,,,,");
    QByteArray outgoing;
    QByteArrayList received;
    std::chrono::steady_clock::time_point sentAt;
};
