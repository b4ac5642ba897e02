#include "sim/platformsimulator.h"

#include "sim/connectiondrop.h"
#include "sim/faults.h"
#include "sim/operations.h"
#include "sim/requestlog.h"
#include "sim/simstate.h"
#include "sim/tlsidentity.h"

#include <QDeadlineTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QWaitCondition>
#include <atomic>
#include <chrono>
#include <httplib.h>
#include <mutex>
#include <openssl/ssl.h>
#include <thread>

namespace sim {

namespace {

const std::string apiPrefix = "/lintraApi/";

void send(httplib::Response &response, const Reply &reply)
{
    response.status = reply.httpStatus;
    response.set_content(reply.body.constData(), std::size_t(reply.body.size()), reply.contentType.toStdString());
}

} // namespace

struct PlatformSimulator::Impl {
    QByteArray certificatePem;
    QByteArray privateKeyPem;

    mutable QMutex mutex; // state, faults and the request log
    SimState state;
    FaultBook faults;
    QList<RecordedRequest> log;
    PlatformSimulator::CallObserver observer;

    QMutex waitMutex; // delays and the frozen state, cut short by stop()
    QWaitCondition wake;
    bool stopping = false;
    bool frozen = false;

    std::mutex lifecycle; // start() and stop()
    std::unique_ptr<httplib::SSLServer> server;
    std::thread listener;
    std::atomic<int> port{0};
    QString host;

    void serve(const httplib::Request &request, httplib::Response &response);
    void pause(int milliseconds);
    bool holdWhileFrozen();
};

void PlatformSimulator::Impl::serve(const httplib::Request &request, httplib::Response &response)
{
    const QString operation = QString::fromStdString(request.path.substr(apiPrefix.size()));
    const RecordedRequest record = recordRequest(request, operation);

    std::optional<Fault> fault;
    Reply reply;
    {
        QMutexLocker locker(&mutex);
        log.append(record);
    }
    if (holdWhileFrozen()) {
        dropConnection(request.ssl);
        if (observer)
            observer(record, 0, QByteArray());
        return;
    }
    {
        QMutexLocker locker(&mutex);
        fault = faults.take(operation);
        if (!fault || keepsEffects(*fault)) {
            reply = runOperation(state, record);
        } else {
            SimState scratch = state; // the client never sees this reply: nothing changes
            reply = runOperation(scratch, record);
        }
    }
    if (fault && fault->delayMs > 0)
        pause(fault->delayMs);
    if (fault && fault->dropConnection) {
        dropConnection(request.ssl);
        if (observer)
            observer(record, 0, QByteArray());
        return;
    }
    const Reply sent = fault ? applyFault(*fault, reply) : reply;
    send(response, sent);
    if (observer)
        observer(record, sent.httpStatus, sent.body);
}

void PlatformSimulator::Impl::pause(int milliseconds)
{
    QDeadlineTimer deadline(milliseconds);
    QMutexLocker locker(&waitMutex);
    while (!stopping && !deadline.hasExpired())
        wake.wait(&waitMutex, deadline);
}

bool PlatformSimulator::Impl::holdWhileFrozen()
{
    QMutexLocker locker(&waitMutex);
    if (!frozen)
        return false;
    while (frozen && !stopping)
        wake.wait(&waitMutex);
    return true;
}

PlatformSimulator::PlatformSimulator(World world, QByteArray certificatePem, QByteArray privateKeyPem)
    : d(std::make_unique<Impl>())
{
    d->state.world = std::move(world);
    d->certificatePem = std::move(certificatePem);
    d->privateKeyPem = std::move(privateKeyPem);
}

PlatformSimulator::~PlatformSimulator()
{
    stop();
}

bool PlatformSimulator::start(const QString &host, int port)
{
    std::lock_guard<std::mutex> guard(d->lifecycle);
    if (d->server)
        return false;
    std::optional<TlsIdentity> identity = loadTlsIdentity(d->certificatePem, d->privateKeyPem);
    if (!identity)
        return false;
    auto server = std::make_unique<httplib::SSLServer>(identity->certificate.get(), identity->key.get());
    if (!server->is_valid())
        return false;
    for (X509Ptr &link : identity->chain) {
        if (SSL_CTX_add_extra_chain_cert(server->ssl_context(), link.get()) == 1)
            link.release(); // the context owns it now
    }
    server->set_keep_alive_timeout(1); // idle connections must not hold up stop()
    server->set_tcp_nodelay(true);     // headers and body go out as separate writes

    Impl *impl = d.get();
    const auto api = [impl](const httplib::Request &request, httplib::Response &response) {
        impl->serve(request, response);
    };
    const auto elsewhere = [](const httplib::Request &, httplib::Response &response) {
        send(response, codeReply(UnknownOperation, 404));
    };
    const std::string apiPattern = apiPrefix + "(.*)";
    server->Post(apiPattern, api).Get(apiPattern, api).Post(".*", elsewhere).Get(".*", elsewhere);

    const std::string address = host.toStdString();
    const int bound = port == 0 ? server->bind_to_any_port(address) : (server->bind_to_port(address, port) ? port : -1);
    if (bound <= 0)
        return false;

    ignoreBrokenPipes();
    {
        QMutexLocker locker(&d->waitMutex);
        d->stopping = false;
    }
    httplib::SSLServer *running = server.get();
    d->listener = std::thread([running] { running->listen_after_bind(); });
    // stop() only reaches a server that has entered its accept loop.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!running->is_running() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!running->is_running()) {
        running->stop();
        d->listener.join();
        return false;
    }
    d->server = std::move(server);
    d->host = host;
    d->port = bound;
    return true;
}

void PlatformSimulator::stop()
{
    std::lock_guard<std::mutex> guard(d->lifecycle);
    if (!d->server)
        return;
    {
        QMutexLocker locker(&d->waitMutex);
        d->stopping = true;
        d->wake.wakeAll();
    }
    d->server->stop();
    d->listener.join();
    d->server.reset();
    d->port = 0;
}

int PlatformSimulator::port() const
{
    return d->port;
}

QByteArray PlatformSimulator::baseUrl() const
{
    std::lock_guard<std::mutex> guard(d->lifecycle);
    const QByteArray host = d->host.toUtf8();
    const QByteArray authority = host.contains(':') ? '[' + host + ']' : host;
    return "https://" + authority + ':' + QByteArray::number(d->port.load());
}

void PlatformSimulator::setFrozen(bool frozen)
{
    QMutexLocker locker(&d->waitMutex);
    d->frozen = frozen;
    d->wake.wakeAll();
}

void PlatformSimulator::editWorld(const std::function<void(World &)> &fn)
{
    QMutexLocker locker(&d->mutex);
    fn(d->state.world);
}

World PlatformSimulator::world() const
{
    QMutexLocker locker(&d->mutex);
    return d->state.world;
}

void PlatformSimulator::setFault(const QString &operation, const Fault &fault)
{
    QMutexLocker locker(&d->mutex);
    d->faults.set(operation, fault);
}

void PlatformSimulator::clearFaults()
{
    QMutexLocker locker(&d->mutex);
    d->faults.clear();
}

QList<RecordedRequest> PlatformSimulator::requests() const
{
    QMutexLocker locker(&d->mutex);
    return d->log;
}

QList<RecordedRequest> PlatformSimulator::requests(const QString &operation) const
{
    QMutexLocker locker(&d->mutex);
    QList<RecordedRequest> matching;
    for (const RecordedRequest &request : d->log) {
        if (request.operation == operation)
            matching.append(request);
    }
    return matching;
}

void PlatformSimulator::clearRequests()
{
    QMutexLocker locker(&d->mutex);
    d->log.clear();
}

void PlatformSimulator::setCallObserver(CallObserver observer)
{
    d->observer = std::move(observer);
}

void PlatformSimulator::expireAllTokens()
{
    QMutexLocker locker(&d->mutex);
    for (Session &session : d->state.sessions)
        session.valid = false;
}

} // namespace sim
