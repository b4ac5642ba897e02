#include "api/operations.h"
#include "api/platformendpoint.h"
#include "api/platformexchange.h"
#include "sim/platformsimulator.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <QHostAddress>
#include <QTcpServer>
#include <QtTest>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

struct X509Deleter {
    void operator()(X509 *x) const { X509_free(x); }
};
struct PkeyDeleter {
    void operator()(EVP_PKEY *k) const { EVP_PKEY_free(k); }
};
struct BioDeleter {
    void operator()(BIO *b) const { BIO_free(b); }
};
using X509Ptr = std::unique_ptr<X509, X509Deleter>;
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyDeleter>;
using BioPtr = std::unique_ptr<BIO, BioDeleter>;

// A certificate with its key, made at test time.
struct Identity {
    X509Ptr cert;
    PkeyPtr key;

    QByteArray certPem() const
    {
        BioPtr bio(BIO_new(BIO_s_mem()));
        PEM_write_bio_X509(bio.get(), cert.get());
        char *data = nullptr;
        const long size = BIO_get_mem_data(bio.get(), &data);
        return QByteArray(data, static_cast<int>(size));
    }
};

bool addExtension(X509 *cert, X509 *issuer, int nid, const char *value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION *ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
    if (!ext)
        return false;
    const bool added = X509_add_ext(cert, ext, -1) == 1;
    X509_EXTENSION_free(ext);
    return added;
}

// A CA (issuer == nullptr: self-signed CA) or a server certificate for subjectAltName san.
Identity makeIdentity(const char *commonName, const Identity *issuer, const char *san)
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
    X509_NAME_add_entry_by_txt(X509_get_subject_name(cert), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char *>(commonName), -1, -1, 0);
    X509 *issuerCert = issuer ? issuer->cert.get() : cert;
    EVP_PKEY *issuerKey = issuer ? issuer->key.get() : id.key.get();
    X509_set_issuer_name(cert, X509_get_subject_name(issuerCert));
    addExtension(cert, issuerCert, NID_subject_key_identifier, "hash");
    addExtension(cert, issuerCert, NID_authority_key_identifier, "keyid:always");
    if (san) {
        addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, issuerCert, NID_ext_key_usage, "serverAuth");
        addExtension(cert, issuerCert, NID_subject_alt_name, san);
    } else {
        addExtension(cert, issuerCert, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, issuerCert, NID_key_usage, "critical,keyCertSign,cRLSign");
    }
    X509_sign(cert, issuerKey, EVP_sha256());
    return id;
}

Identity identityFromPem(const QByteArray &certPem, const QByteArray &keyPem)
{
    Identity id;
    BioPtr certBio(BIO_new_mem_buf(certPem.constData(), certPem.size()));
    BioPtr keyBio(BIO_new_mem_buf(keyPem.constData(), keyPem.size()));
    id.cert.reset(PEM_read_bio_X509(certBio.get(), nullptr, nullptr, nullptr));
    id.key.reset(PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr));
    return id;
}

struct SeenRequest {
    std::string method;
    std::string target;
    std::string body;
    std::size_t contentTypeCount = 0;
    std::string contentType;
    std::string contentLength;
    httplib::Params params;
};

// A small HTTPS server on 127.0.0.1 answering every path under /lintraApi/ with a handler the
// test sets; it records what arrived.
class TestServer {
public:
    using Handler = std::function<void(const httplib::Request &, httplib::Response &)>;

    TestServer(const Identity &identity, Handler handler)
        : server_(identity.cert.get(), identity.key.get()), handler_(std::move(handler))
    {
        const auto serve = [this](const httplib::Request &request, httplib::Response &response) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                seen_.push_back({request.method, request.target, request.body,
                                 request.get_header_value_count("Content-Type"),
                                 request.get_header_value("Content-Type"), request.get_header_value("Content-Length"),
                                 request.params});
            }
            handler_(request, response);
        };
        server_.Post(R"(/lintraApi/.*)", serve);
        server_.Get(R"(/lintraApi/.*)", serve);
    }

    ~TestServer()
    {
        release();
        server_.stop();
        if (thread_.joinable())
            thread_.join();
    }

    bool start()
    {
        if (!server_.is_valid())
            return false;
        port_ = server_.bind_to_any_port("127.0.0.1");
        if (port_ <= 0)
            return false;
        thread_ = std::thread([this] { server_.listen_after_bind(); });
        // stop() only works once the accept loop runs.
        for (int i = 0; i < 5000 && !server_.is_running(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return server_.is_running();
    }

    QByteArray baseUrl() const { return "https://127.0.0.1:" + QByteArray::number(port_); }

    std::vector<SeenRequest> seen()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

    // Holds a handler until release() or the time limit, whichever comes first.
    void stall(std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        released_.wait_for(lock, limit, [this] { return isReleased_; });
    }

    void release()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            isReleased_ = true;
        }
        released_.notify_all();
    }

private:
    httplib::SSLServer server_;
    Handler handler_;
    std::thread thread_;
    int port_ = -1;
    std::mutex mutex_;
    std::condition_variable released_;
    bool isReleased_ = false;
    std::vector<SeenRequest> seen_;
};

Identity demoServer()
{
    return identityFromPem(sim::demoServerCertificatePem(), sim::demoServerKeyPem());
}

void useEndpoint(const QByteArray &baseUrl, const QByteArray &caPem, long totalTimeoutMs = 5000)
{
    PlatformEndpoint endpoint;
    endpoint.baseUrl = baseUrl;
    endpoint.caPem = caPem;
    endpoint.connectTimeoutMs = 2000;
    endpoint.totalTimeoutMs = totalTimeoutMs;
    installPlatformEndpoint(endpoint);
}

TestServer::Handler replyWith(int status, const std::string &body)
{
    return [status, body](const httplib::Request &, httplib::Response &response) {
        response.status = status;
        response.set_content(body, "application/json");
    };
}

} // namespace

Q_DECLARE_METATYPE(PlatformRequest)

class TestPlatformExchange : public QObject {
    Q_OBJECT

private slots:
    void bodyReturnedWhateverTheStatus_data();
    void bodyReturnedWhateverTheStatus();
    void requestShape_data();
    void requestShape();
    void queryArrivesAsEncoded();
    void certificateMustChainToConfiguredCa();
    void hostNameMustMatch();
    void emptyCaMeansSystemStoreNotNoVerification();
    void stalledServerTimesOut();
    void closedPortGivesNoReply();
    void redirectIsNotFollowed();
    void oversizedReplyIsRefused();
};

void TestPlatformExchange::bodyReturnedWhateverTheStatus_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("body");

    QTest::newRow("200 json") << 200 << QByteArray(R"({"code":100,"data":{"token":"t-1"}})");
    QTest::newRow("200 chinese") << 200 << QByteArray(u8R"({"code":100,"data":{"siteName":"上海一号站"}})");
    QTest::newRow("500 json") << 500 << QByteArray(R"({"code":10002})");
    QTest::newRow("404 text") << 404 << QByteArray("not here");
    QTest::newRow("200 empty") << 200 << QByteArray();
}

void TestPlatformExchange::bodyReturnedWhateverTheStatus()
{
    QFETCH(int, status);
    QFETCH(QByteArray, body);

    TestServer server(demoServer(), replyWith(status, body.toStdString()));
    QVERIFY(server.start());
    useEndpoint(server.baseUrl(), sim::demoCaPem());

    const std::optional<QByteArray> reply = platformExchange(Operations::getLintraToken(QStringLiteral("u"),
                                                                                      QStringLiteral("p")));
    QVERIFY(reply.has_value());
    QCOMPARE(*reply, body);
}

void TestPlatformExchange::requestShape_data()
{
    QTest::addColumn<PlatformRequest>("request");
    QTest::addColumn<bool>("jsonType");

    const QByteArray token("tok");
    QTest::newRow("getLintraToken") << Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p")) << true;
    QTest::newRow("getSiteInfo") << Operations::getSiteInfo(token, QStringLiteral("GW1")) << true;
    QTest::newRow("getDownload") << Operations::getDownload(token, QStringLiteral("TAP1")) << false;
}

void TestPlatformExchange::requestShape()
{
    QFETCH(PlatformRequest, request);
    QFETCH(bool, jsonType);

    TestServer server(demoServer(), replyWith(200, R"({"code":100})"));
    QVERIFY(server.start());
    useEndpoint(server.baseUrl(), sim::demoCaPem());

    QVERIFY(platformExchange(request).has_value());
    const std::vector<SeenRequest> seen = server.seen();
    QCOMPARE(seen.size(), std::size_t(1));
    const SeenRequest &got = seen.front();
    QCOMPARE(QByteArray::fromStdString(got.method), QByteArray("POST"));
    QVERIFY(got.body.empty());
    QCOMPARE(QByteArray::fromStdString(got.target), "/lintraApi/" + request.operation + request.query);
    QCOMPARE(QByteArray::fromStdString(got.contentLength), QByteArray("0"));
    QCOMPARE(got.contentTypeCount, std::size_t(jsonType ? 1 : 0));
    if (jsonType)
        QCOMPARE(QByteArray::fromStdString(got.contentType), QByteArray("application/json"));
}

void TestPlatformExchange::queryArrivesAsEncoded()
{
    TestServer server(demoServer(), replyWith(200, R"({"code":100})"));
    QVERIFY(server.start());
    useEndpoint(server.baseUrl(), sim::demoCaPem());

    const QString userName = QStringLiteral("张三 & co");
    const QString passWord = QStringLiteral("p%+#=~x?");
    QVERIFY(platformExchange(Operations::getLintraToken(userName, passWord)).has_value());

    const std::vector<SeenRequest> seen = server.seen();
    QCOMPARE(seen.size(), std::size_t(1));
    QCOMPARE(QByteArray::fromStdString(seen.front().target),
             QByteArray("/lintraApi/getLintraToken?userName=%E5%BC%A0%E4%B8%89%20%26%20co"
                        "&passWord=p%25%2B%23%3D~x%3F"));
    // The server sees exactly the two pairs, with the values as typed.
    const httplib::Params &params = seen.front().params;
    QCOMPARE(params.size(), std::size_t(2));
    QCOMPARE(QString::fromStdString(params.find("userName")->second), userName);
    QCOMPARE(QString::fromStdString(params.find("passWord")->second), passWord);
}

void TestPlatformExchange::certificateMustChainToConfiguredCa()
{
    const Identity trustedCa = makeIdentity("Trusted Test CA", nullptr, nullptr);
    const Identity otherCa = makeIdentity("Other Test CA", nullptr, nullptr);
    const Identity serverId = makeIdentity("127.0.0.1", &otherCa, "IP:127.0.0.1,DNS:localhost");

    TestServer server(serverId, replyWith(200, R"({"code":100})"));
    QVERIFY(server.start());
    const PlatformRequest request = Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p"));

    useEndpoint(server.baseUrl(), trustedCa.certPem());
    QVERIFY(!platformExchange(request).has_value());
    useEndpoint(server.baseUrl(), sim::demoCaPem());
    QVERIFY(!platformExchange(request).has_value());
    QVERIFY(server.seen().empty());

    // The same server is accepted once its own CA is the configured one.
    useEndpoint(server.baseUrl(), otherCa.certPem());
    QVERIFY(platformExchange(request).has_value());
    QCOMPARE(server.seen().size(), std::size_t(1));
}

void TestPlatformExchange::hostNameMustMatch()
{
    const Identity ca = makeIdentity("Name Test CA", nullptr, nullptr);
    const Identity serverId = makeIdentity("example.invalid", &ca, "DNS:example.invalid");

    TestServer server(serverId, replyWith(200, R"({"code":100})"));
    QVERIFY(server.start());
    useEndpoint(server.baseUrl(), ca.certPem());

    QVERIFY(!platformExchange(Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p"))).has_value());
    QVERIFY(server.seen().empty());
}

void TestPlatformExchange::emptyCaMeansSystemStoreNotNoVerification()
{
    // The demo CA is in no system trust store, so its server must be refused.
    TestServer server(demoServer(), replyWith(200, R"({"code":100})"));
    QVERIFY(server.start());
    useEndpoint(server.baseUrl(), QByteArray());

    QVERIFY(!platformExchange(Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p"))).has_value());
    QVERIFY(server.seen().empty());
}

void TestPlatformExchange::stalledServerTimesOut()
{
    TestServer *serverPtr = nullptr;
    TestServer server(demoServer(), [&serverPtr](const httplib::Request &, httplib::Response &response) {
        serverPtr->stall(std::chrono::seconds(20));
        response.set_content(R"({"code":100})", "application/json");
    });
    serverPtr = &server;
    QVERIFY(server.start());
    useEndpoint(server.baseUrl(), sim::demoCaPem(), 1000);

    QVERIFY(!platformExchange(Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p"))).has_value());
    QCOMPARE(server.seen().size(), std::size_t(1));
}

void TestPlatformExchange::closedPortGivesNoReply()
{
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const quint16 port = probe.serverPort();
    probe.close();

    useEndpoint("https://127.0.0.1:" + QByteArray::number(port), sim::demoCaPem());
    QVERIFY(!platformExchange(Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p"))).has_value());
}

void TestPlatformExchange::redirectIsNotFollowed()
{
    TestServer server(demoServer(), [](const httplib::Request &request, httplib::Response &response) {
        if (request.path == "/lintraApi/getLintraToken") {
            response.status = 302;
            response.set_header("Location", "/lintraApi/elsewhere");
            response.set_content("moved", "text/plain");
        } else {
            response.set_content(R"({"code":100})", "application/json");
        }
    });
    QVERIFY(server.start());
    useEndpoint(server.baseUrl(), sim::demoCaPem());

    const std::optional<QByteArray> reply =
        platformExchange(Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p")));
    QVERIFY(reply.has_value());
    QCOMPARE(*reply, QByteArray("moved"));
    QCOMPARE(server.seen().size(), std::size_t(1));
}

void TestPlatformExchange::oversizedReplyIsRefused()
{
    TestServer server(demoServer(), replyWith(200, std::string(17 * 1024 * 1024, 'x')));
    QVERIFY(server.start());
    useEndpoint(server.baseUrl(), sim::demoCaPem());

    QVERIFY(!platformExchange(Operations::getLintraToken(QStringLiteral("u"), QStringLiteral("p"))).has_value());
}

QTEST_GUILESS_MAIN(TestPlatformExchange)
#include "tst_platformexchange.moc"
