#include "api/platformendpoint.h"
#include "api/platformreply.h"
#include "api/sessiontoken.h"
#include "sim/platformsimulator.h"

#include <QtTest>

Q_DECLARE_METATYPE(TokenReply)
Q_DECLARE_METATYPE(sim::Fault)

namespace {

TokenReply answered(std::optional<int> code)
{
    TokenReply reply;
    reply.answered = true;
    reply.code = code;
    return reply;
}

TokenReply transferFailed()
{
    return TokenReply();
}

} // namespace

class TestSessionToken : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void judgeProbe_data();
    void judgeProbe();
    void recoveryReloadsExactlyOnce();
    void expiredSessionReRequestsOnEveryProbe();

    void requestToken_data();
    void requestToken();
    void replyShapes_data();
    void replyShapes();
    void unreachablePlatform();

private:
    std::unique_ptr<sim::PlatformSimulator> simulator;
};

void TestSessionToken::initTestCase()
{
    simulator = std::make_unique<sim::PlatformSimulator>(sim::demoWorld(), sim::demoServerCertificatePem(),
                                                         sim::demoServerKeyPem());
    QVERIFY(simulator->start());
    PlatformEndpoint endpoint;
    endpoint.baseUrl = simulator->baseUrl();
    endpoint.caPem = sim::demoCaPem();
    endpoint.connectTimeoutMs = 2000;
    endpoint.totalTimeoutMs = 5000;
    installPlatformEndpoint(endpoint);
}

void TestSessionToken::cleanupTestCase()
{
    simulator->stop();
}

void TestSessionToken::init()
{
    simulator->clearFaults();
    simulator->clearRequests();
}

void TestSessionToken::judgeProbe_data()
{
    QTest::addColumn<TokenReply>("reply");
    QTest::addColumn<int>("wasReachableBefore");
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<bool>("reload");
    QTest::addColumn<bool>("reRequest");
    QTest::addColumn<int>("wasReachableAfter");

    QTest::newRow("failure while reachable") << transferFailed() << 1 << false << false << false << 0;
    QTest::newRow("failure while unreachable") << transferFailed() << 0 << false << false << false << 0;
    QTest::newRow("answered, steady") << answered(100) << 1 << true << false << false << 1;
    QTest::newRow("answered, recovery") << answered(100) << 0 << true << true << false << 1;
    QTest::newRow("non-JSON answer recovers too") << answered(std::nullopt) << 0 << true << true << false << 1;
    QTest::newRow("rejected credentials count as answered") << answered(10001) << 0 << true << true << false << 1;
    QTest::newRow("expired session") << answered(10002) << 1 << true << false << true << 1;
    QTest::newRow("expired session on recovery") << answered(10002) << 0 << true << true << true << 1;
    QTest::newRow("other code") << answered(10003) << 1 << true << false << false << 1;
}

void TestSessionToken::judgeProbe()
{
    QFETCH(TokenReply, reply);
    QFETCH(int, wasReachableBefore);
    QFETCH(bool, reachable);
    QFETCH(bool, reload);
    QFETCH(bool, reRequest);
    QFETCH(int, wasReachableAfter);

    int wasReachable = wasReachableBefore;
    const ProbeDecision decision = ::judgeProbe(reply, wasReachable);
    QCOMPARE(decision.reachable, reachable);
    QCOMPARE(decision.reloadFirstPage, reload);
    QCOMPARE(decision.reRequestToken, reRequest);
    QCOMPARE(wasReachable, wasReachableAfter);
}

void TestSessionToken::recoveryReloadsExactlyOnce()
{
    int wasReachable = 1; // the start-up state
    QVERIFY(!::judgeProbe(answered(100), wasReachable).reloadFirstPage);
    QVERIFY(!::judgeProbe(transferFailed(), wasReachable).reachable);
    QVERIFY(!::judgeProbe(transferFailed(), wasReachable).reachable);

    int reloads = 0;
    for (int i = 0; i < 4; ++i) {
        const ProbeDecision decision = ::judgeProbe(answered(100), wasReachable);
        QVERIFY(decision.reachable);
        reloads += decision.reloadFirstPage ? 1 : 0;
    }
    QCOMPARE(reloads, 1);

    // A second outage is its own recovery.
    ::judgeProbe(transferFailed(), wasReachable);
    QVERIFY(::judgeProbe(answered(100), wasReachable).reloadFirstPage);
}

void TestSessionToken::expiredSessionReRequestsOnEveryProbe()
{
    int wasReachable = 1;
    int reRequests = 0;
    for (int i = 0; i < 3; ++i)
        reRequests += ::judgeProbe(answered(10002), wasReachable).reRequestToken ? 1 : 0;
    QCOMPARE(reRequests, 3);
    QVERIFY(!::judgeProbe(transferFailed(), wasReachable).reRequestToken);
}

void TestSessionToken::requestToken_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("passWord");
    QTest::addColumn<int>("code");

    QTest::newRow("demo account") << QStringLiteral("demo") << QStringLiteral("Demo@2026") << 100;
    QTest::newRow("reserved signs in the password") << QStringLiteral("engineer") << QStringLiteral("Field #1 & co+")
                                                    << 100;
    QTest::newRow("chinese password") << QStringLiteral("zhangwei") << QStringLiteral("张伟2026") << 100;
    QTest::newRow("wrong password") << QStringLiteral("demo") << QStringLiteral("Demo@2025") << 10001;
    QTest::newRow("password as an injected pair") << QStringLiteral("demo&passWord=Demo@2026")
                                                  << QStringLiteral("x") << 10001;
    QTest::newRow("unknown account") << QStringLiteral("nobody") << QStringLiteral("x") << 10001;
}

void TestSessionToken::requestToken()
{
    QFETCH(QString, userName);
    QFETCH(QString, passWord);
    QFETCH(int, code);

    const TokenReply reply = ::requestToken(userName, passWord);
    QVERIFY(reply.answered);
    QCOMPARE(reply.code, std::optional<int>(code));
    QCOMPARE(reply.token.has_value() && !reply.token->isEmpty(), code == ReplyCode::Success);

    const QList<sim::RecordedRequest> requests = simulator->requests(QStringLiteral("getLintraToken"));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().method, QByteArray("POST"));
    QCOMPARE(requests.first().value(QStringLiteral("userName")), userName);
    QCOMPARE(requests.first().value(QStringLiteral("passWord")), passWord);
}

void TestSessionToken::replyShapes_data()
{
    QTest::addColumn<sim::Fault>("fault");
    QTest::addColumn<bool>("hasCode");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("hasToken");
    QTest::addColumn<QByteArray>("token");

    sim::Fault expired;
    expired.body = sim::Fault::Body::Custom;
    expired.customBody = R"({"code":10002,"msg":"token expired"})";
    QTest::newRow("10002") << expired << true << 10002 << false << QByteArray();

    sim::Fault notJson;
    notJson.body = sim::Fault::Body::NotJson;
    QTest::newRow("not JSON") << notJson << false << 0 << false << QByteArray();

    sim::Fault truncated;
    truncated.body = sim::Fault::Body::Truncated;
    QTest::newRow("truncated") << truncated << false << 0 << false << QByteArray();

    sim::Fault status500;
    status500.httpStatus = 500;
    status500.body = sim::Fault::Body::Custom;
    status500.customBody = R"({"code":10002})";
    QTest::newRow("HTTP 500 with a code") << status500 << true << 10002 << false << QByteArray();

    sim::Fault noToken;
    noToken.body = sim::Fault::Body::Custom;
    noToken.customBody = R"({"code":100})";
    QTest::newRow("success without data") << noToken << true << 100 << false << QByteArray();

    sim::Fault tokenNotText;
    tokenNotText.body = sim::Fault::Body::Custom;
    tokenNotText.customBody = R"({"code":100,"data":{"token":12345}})";
    QTest::newRow("token not a string") << tokenNotText << true << 100 << false << QByteArray();

    sim::Fault upperCase;
    upperCase.body = sim::Fault::Body::Custom;
    upperCase.customBody = R"({"CODE":100,"Data":{"TOKEN":"tk-9"}})";
    QTest::newRow("capitalised members") << upperCase << true << 100 << true << QByteArray("tk-9");

    sim::Fault emptyToken;
    emptyToken.body = sim::Fault::Body::Custom;
    emptyToken.customBody = R"({"code":100,"data":{"token":""}})";
    QTest::newRow("empty token") << emptyToken << true << 100 << true << QByteArray();
}

void TestSessionToken::replyShapes()
{
    QFETCH(sim::Fault, fault);
    QFETCH(bool, hasCode);
    QFETCH(int, code);
    QFETCH(bool, hasToken);
    QFETCH(QByteArray, token);

    simulator->setFault(QStringLiteral("getLintraToken"), fault);
    const TokenReply reply = ::requestToken(QStringLiteral("demo"), QStringLiteral("Demo@2026"));
    QVERIFY(reply.answered);
    QCOMPARE(reply.code.has_value(), hasCode);
    if (hasCode)
        QCOMPARE(*reply.code, code);
    QCOMPARE(reply.token.has_value(), hasToken);
    if (hasToken)
        QCOMPARE(*reply.token, token);
}

void TestSessionToken::unreachablePlatform()
{
    sim::Fault drop;
    drop.dropConnection = true;
    simulator->setFault(QStringLiteral("getLintraToken"), drop);
    TokenReply reply = ::requestToken(QStringLiteral("demo"), QStringLiteral("Demo@2026"));
    QVERIFY(!reply.answered);
    QVERIFY(!reply.code);
    QVERIFY(!reply.token);

    int wasReachable = 1;
    QVERIFY(!::judgeProbe(reply, wasReachable).reachable);
    QCOMPARE(wasReachable, 0);

    // Back again: the next probe is answered and asks for the reload.
    simulator->clearFaults();
    reply = ::requestToken(QStringLiteral("demo"), QStringLiteral("Demo@2026"));
    QVERIFY(reply.answered);
    QVERIFY(::judgeProbe(reply, wasReachable).reloadFirstPage);
}

QTEST_GUILESS_MAIN(TestSessionToken)
#include "tst_sessiontoken.moc"
