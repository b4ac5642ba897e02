#pragma once

#include "sim/world.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// An HTTPS server implementing the platform's 14 operations under "/lintraApi/" on a World,
// with per-operation fault injection and a log of every request. Runs on its own threads;
// every public member is thread-safe.
namespace sim {

struct RecordedRequest {
    QString operation;                           // path after "/lintraApi/"
    QByteArray method;
    QByteArray rawQuery;                         // as sent, still encoded
    QList<QPair<QString, QString>> query;        // decoded pairs, in order
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QString value(const QString &key) const;     // first decoded value of key, or a null QString
};

struct Fault {
    enum class Body { Normal, NotJson, Truncated, Custom };
    std::optional<int> code;      // forced reply code (the reply otherwise as usual)
    std::optional<int> httpStatus;
    Body body = Body::Normal;
    QByteArray customBody;        // used with Body::Custom
    int delayMs = 0;              // before answering
    bool dropConnection = false;  // close the connection without a reply
    int times = -1;               // how many requests it applies to; -1: until cleared
};

class PlatformSimulator {
public:
    // certificate and key: PEM of the server certificate (chain) and its private key.
    PlatformSimulator(World world, QByteArray certificatePem, QByteArray privateKeyPem);
    ~PlatformSimulator();

    // Listens on host:port (port 0 picks a free one) and serves on a background thread.
    bool start(const QString &host = QStringLiteral("127.0.0.1"), int port = 0);
    void stop();
    int port() const;
    QByteArray baseUrl() const;    // "https://127.0.0.1:<port>"

    // Runs fn on the world under the simulator's lock.
    void editWorld(const std::function<void(World &)> &fn);
    World world() const;

    void setFault(const QString &operation, const Fault &fault);
    void clearFaults();

    QList<RecordedRequest> requests() const;
    QList<RecordedRequest> requests(const QString &operation) const;
    void clearRequests();

    // Called on the serving thread after each reply (status 0 and no body: the connection was
    // dropped); set it before start().
    using CallObserver = std::function<void(const RecordedRequest &, int httpStatus, const QByteArray &body)>;
    void setCallObserver(CallObserver observer);

    // Frozen: connections are accepted and requests read (and logged) but never answered; a request
    // held so is dropped without a reply when the simulator thaws or stops.
    void setFrozen(bool frozen);

    // Tokens: every token issued so far stops being valid (10002 from then on).
    void expireAllTokens();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The demo PKI shipped under sim/pki (embedded at build time).
QByteArray demoCaPem();
QByteArray demoServerCertificatePem();
QByteArray demoServerKeyPem();
// The CA of the demo's far end (the OpenVPN server of scripts/demo), also under sim/pki.
QByteArray demoTunnelCaPem();

} // namespace sim
