#include "api/operations.h"
#include "api/platformendpoint.h"
#include "api/platformexchange.h"

#include <httplib.h>
#include <openssl/pem.h>
#include <openssl/x509v3.h>

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpServer>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace {

struct Identity {
    std::unique_ptr<X509, decltype(&X509_free)> cert{nullptr, X509_free};
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{nullptr, EVP_PKEY_free};
    QByteArray pem;
};

// A self-signed CA (issuer null) or a server certificate for subjectAltName san, made at test time.
Identity makeIdentity(const Identity *issuer, const char *san)
{
    static long serial = 1000;
    Identity id;
    id.key.reset(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
    id.cert.reset(X509_new());
    X509 *cert = id.cert.get();
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 24 * 3600);
    X509_set_pubkey(cert, id.key.get());
    const QByteArray name = "Test " + QByteArray::number(qlonglong(serial)); // CAs must differ by name
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>(name.constData()), -1, -1, 0);
    X509 *issuerCert = issuer ? issuer->cert.get() : cert;
    X509_set_issuer_name(cert, X509_get_subject_name(issuerCert));
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuerCert, cert, nullptr, nullptr, 0);
    X509_EXTENSION *extension = X509V3_EXT_conf_nid(nullptr, &ctx, san ? NID_subject_alt_name : NID_basic_constraints,
                                                    san ? san : "critical,CA:TRUE");
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
    X509_sign(cert, issuer ? issuer->key.get() : id.key.get(), EVP_sha256());
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    PEM_write_bio_X509(bio.get(), cert);
    char *data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    id.pem = QByteArray(data, int(size));
    return id;
}

struct Outcome {
    bool serverStarted = false;
    std::optional<QByteArray> reply;
    std::vector<httplib::Request> seen;
    qint64 elapsedMs = 0;
};

// One platform exchange against an HTTPS server on 127.0.0.1 with the given identity, answering
// every request with status and body; status 302 redirects, status 0 stalls until the client gives up.
Outcome exchange(const Identity &serverId, const QByteArray &caPem, const PlatformRequest &request, int status = 200,
                 const QByteArray &body = "{}")
{
    Outcome outcome;
    httplib::SSLServer server(serverId.cert.get(), serverId.key.get());
    std::mutex mutex;
    std::atomic<bool> clientDone{false};
    const auto serve = [&](const httplib::Request &got, httplib::Response &response) {
        const std::lock_guard<std::mutex> lock(mutex);
        outcome.seen.push_back(got);
        for (int i = 0; status == 0 && !clientDone && i < 2000; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (status == 302)
            response.set_header("Location", "/lintraApi/elsewhere");
        response.status = status;
        response.set_content(body.toStdString(), "application/json");
    };
    server.Post(R"(/lintraApi/.*)", serve);
    server.Get(R"(/lintraApi/.*)", serve);
    const int port = server.is_valid() ? server.bind_to_any_port("127.0.0.1") : -1;
    if (port <= 0)
        return outcome;
    std::thread thread([&server] { server.listen_after_bind(); });
    for (int i = 0; i < 5000 && !server.is_running(); ++i) // stop() only works once the loop runs
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    outcome.serverStarted = server.is_running();
    installPlatformEndpoint({"https://127.0.0.1:" + QByteArray::number(port), caPem, 2000, status == 0 ? 1000 : 5000});
    QElapsedTimer clock;
    clock.start();
    outcome.reply = platformExchange(request);
    outcome.elapsedMs = clock.elapsed();
    clientDone = true;
    server.stop();
    thread.join();
    return outcome;
}

enum { Ca, Server, OtherCa, OtherServer, WrongName, NoCa = -1 };

} // namespace

class TestPlatformExchange : public QObject {
    Q_OBJECT

    std::vector<Identity> ids;

private slots:
    void initTestCase()
    {
        ids.push_back(makeIdentity(nullptr, nullptr));
        ids.push_back(makeIdentity(&ids[Ca], "IP:127.0.0.1"));
        ids.push_back(makeIdentity(nullptr, nullptr));
        ids.push_back(makeIdentity(&ids[OtherCa], "IP:127.0.0.1"));
        ids.push_back(makeIdentity(&ids[Ca], "DNS:example.invalid"));
        for (const Identity &id : ids)
            QVERIFY(id.cert && id.key);
    }

    void outcome()
    {
        const QByteArray json = u8R"({"code":100,"data":{"siteName":"上海一号站"}})";
        const struct { const char *name; int server, ca, status; QByteArray body; bool ok; unsigned seen; } rows[] = {
            {"200 json", Server, Ca, 200, json, true, 1},
            {"500 body", Server, Ca, 500, "{\"code\":10002}", true, 1},
            {"200 empty", Server, Ca, 200, QByteArray(), true, 1},
            {"body at the cap", Server, Ca, 200, QByteArray(MaxReplyBytes, 'x'), true, 1},
            {"body just over the cap", Server, Ca, 200, QByteArray(MaxReplyBytes + 1, 'x'), false, 1},
            {"redirect not followed", Server, Ca, 302, "moved", true, 1},
            {"stall hits the time-out", Server, Ca, 0, json, false, 1},
            {"chains to the configured CA", OtherServer, OtherCa, 200, json, true, 1},
            {"chains to another CA", OtherServer, Ca, 200, json, false, 0},
            {"host name mismatch", WrongName, Ca, 200, json, false, 0},
            {"no CA: system store, not no check", Server, NoCa, 200, json, false, 0},
        };
        const PlatformRequest token = Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p"));
        for (const auto &row : rows) {
            const QByteArray caPem = row.ca == NoCa ? QByteArray() : ids[std::size_t(row.ca)].pem;
            const Outcome outcome = exchange(ids[std::size_t(row.server)], caPem, token, row.status, row.body);
            QVERIFY2(outcome.serverStarted && outcome.seen.size() == row.seen, row.name);
            QVERIFY2(outcome.reply == (row.ok ? std::optional<QByteArray>(row.body) : std::nullopt), row.name);
            // The stalling server would keep the client 20 s; the overall time-out (1 s) ends it.
            if (row.status == 0)
                QVERIFY2(outcome.elapsedMs >= 900 && outcome.elapsedMs < 3000, row.name);
        }
    }

    void requestShape()
    {
        const QString userName = QStringLiteral("张三 & co"), passWord = QStringLiteral("p%+#=~x?");
        for (const PlatformRequest &request : {Operations::getLintraToken(userName, passWord),
                                               Operations::getSiteInfo("tok", QStringLiteral("GW1")),
                                               Operations::getDownload("tok", QStringLiteral("TAP1"))}) {
            const Outcome outcome = exchange(ids[Server], ids[Ca].pem, request);
            QVERIFY(outcome.reply.has_value());
            QCOMPARE(outcome.seen.size(), std::size_t(1));
            const httplib::Request &got = outcome.seen.front();
            QCOMPARE(QByteArray::fromStdString(got.method + " " + got.target + " " +
                                               got.get_header_value("Content-Length") + " " + got.body),
                     "POST /lintraApi/" + request.operation + request.query + " 0 ");
            // The certificate download goes without a header list: libcurl's default type for an empty POST.
            const bool json = request.operation != "getDownload";
            QCOMPARE(got.get_header_value_count("Content-Type"), std::size_t(1));
            QCOMPARE(QByteArray::fromStdString(got.get_header_value("Content-Type")),
                     json ? "application/json" : "application/x-www-form-urlencoded");
            if (request.operation == "getLintraToken") { // the server decodes exactly the two values as typed
                QCOMPARE(got.params.size(), std::size_t(2));
                QCOMPARE(QString::fromStdString(got.get_param_value("userName")), userName);
                QCOMPARE(QString::fromStdString(got.get_param_value("passWord")), passWord);
            }
        }
    }

    // A server whose accept queue is full never completes the handshake: the connect time-out, not
    // the overall one, ends the attempt.
    void connectTimeOut()
    {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        QVERIFY(::bind(listener, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(listener, 0) == 0 &&
                ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) == 0);
        std::vector<int> queued;
        for (int i = 0; i < 3; ++i) { // fills the queue of a backlog of 0 (two handshakes complete)
            queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
            ::connect(queued.back(), reinterpret_cast<sockaddr *>(&address), length);
        }
        QTest::qWait(100);
        installPlatformEndpoint({"https://127.0.0.1:" + QByteArray::number(ntohs(address.sin_port)), ids[Ca].pem, 400,
                                 10000});
        QElapsedTimer clock;
        clock.start();
        const bool answered = platformExchange(Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p")))
                                  .has_value();
        const qint64 elapsed = clock.elapsed();
        for (const int fd : queued)
            ::close(fd);
        ::close(listener);
        QVERIFY(!answered);
        QVERIFY2(elapsed >= 350 && elapsed < 2500, qPrintable(QString::number(elapsed)));
    }

    void closedPortGivesNoReply()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const int port = probe.serverPort();
        probe.close();
        installPlatformEndpoint({"https://127.0.0.1:" + QByteArray::number(port), ids[Ca].pem, 2000, 5000});
        QVERIFY(!platformExchange(Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p"))).has_value());
    }

    // After the exchanges above: the libcurl in this process is the one the build carries, with
    // none of the libraries Debian's libcurl4 brings along.
    void carriedLibcurl()
    {
        if (QByteArray(KORVANE_OWN_CURL).isEmpty())
            QSKIP("built without a libcurl of its own (scripts/lean-curl): the system's is loaded");
        QFile mapsFile(QStringLiteral("/proc/self/maps"));
        QVERIFY(mapsFile.open(QIODevice::ReadOnly));
        const QByteArray maps = mapsFile.readAll();
        QVERIFY(maps.contains(QFileInfo(QStringLiteral(KORVANE_OWN_CURL)).canonicalFilePath().toUtf8()));
        for (const char *library : {"libcurl.so.4.8", "libgnutls", "libldap", "librtmp", "libssh2", "libnghttp2"})
            QVERIFY2(!maps.contains(library), library);
    }
};

QTEST_GUILESS_MAIN(TestPlatformExchange)
#include "tst_platformexchange.moc"
