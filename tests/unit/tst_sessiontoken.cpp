#include "api/platformreply.h"
#include "api/sessiontoken.h"
#include "support/simfixture.h"

#include <QtTest>

Q_DECLARE_METATYPE(sim::Fault)

class TestSessionToken : public QObject {
    Q_OBJECT

    SimFixture platform;

private slots:
    void initTestCase() { QVERIFY(platform.isRunning()); }
    void init()
    {
        platform->clearFaults();
        platform->clearRequests();
    }

    void probeLatch()
    {
        enum { Failed = -2, NoCode = -1 };
        // reply code (or Failed / NoCode), then the expected reachable, reload and re-request
        // clang-format off
        const int steps[][4] = {
            {100, 1, 0, 0}, // the start-up state counts as reachable: no reload
            {Failed, 0, 0, 0},
            {Failed, 0, 0, 0},
            {100, 1, 1, 0}, // recovery reloads page 1 ...
            {100, 1, 0, 0}, // ... once
            {10002, 1, 0, 1},
            {10002, 1, 0, 1}, // every expired probe asks for a new token
            {Failed, 0, 0, 0},
            {10002, 1, 1, 1},
            {Failed, 0, 0, 0},
            {NoCode, 1, 1, 0}, // any answer, even one that is not JSON, is a recovery
            {Failed, 0, 0, 0},
            {10001, 1, 1, 0},
            {10003, 1, 0, 0},
        };
        // clang-format on
        int wasReachable = 1;
        for (std::size_t i = 0; i < std::size(steps); ++i) {
            const int *s = steps[i];
            TokenReply reply;
            reply.answered = s[0] != Failed;
            if (s[0] >= 0)
                reply.code = s[0];
            const ProbeDecision d = judgeProbe(reply, wasReachable);
            QVERIFY2(int(d.reachable) == s[1] && int(d.reloadFirstPage) == s[2] && int(d.reRequestToken) == s[3] &&
                         wasReachable == s[1],
                     qPrintable(QStringLiteral("step %1").arg(i)));
        }
    }

    void requestToken_data()
    {
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("passWord");
        QTest::addColumn<int>("code");
        QTest::newRow("demo account") << QStringLiteral("demo") << QStringLiteral("Demo@2026") << 100;
        QTest::newRow("reserved signs") << QStringLiteral("engineer") << QStringLiteral("Field #1 & co+") << 100;
        QTest::newRow("chinese password") << QStringLiteral("zhangwei") << QStringLiteral("张伟2026") << 100;
        QTest::newRow("wrong password") << QStringLiteral("demo") << QStringLiteral("Demo@2025") << 10001;
    }
    void requestToken()
    {
        QFETCH(QString, userName);
        QFETCH(QString, passWord);
        QFETCH(int, code);
        const TokenReply reply = ::requestToken(userName, passWord);
        QVERIFY(reply.answered);
        QCOMPARE(reply.code, std::optional<int>(code));
        QCOMPARE(reply.token.has_value() && !reply.token->isEmpty(), code == ReplyCode::Success);
        const QList<sim::RecordedRequest> requests = platform->requests(QStringLiteral("getLintraToken"));
        QCOMPARE(requests.size(), 1);
        QCOMPARE(requests.first().value(QStringLiteral("userName")), userName);
        QCOMPARE(requests.first().value(QStringLiteral("passWord")), passWord);
    }

    void replyShapes_data()
    {
        QTest::addColumn<sim::Fault>("fault");
        QTest::addColumn<bool>("isAnswered");
        QTest::addColumn<int>("code");         // -1: none
        QTest::addColumn<QByteArray>("token"); // null: none
        sim::Fault drop, notJson, capitals;
        drop.dropConnection = true;
        notJson.body = capitals.body = sim::Fault::Body::Custom;
        notJson.customBody = "<html>502</html>";
        capitals.customBody = R"({"CODE":100,"Data":{"TOKEN":"tk-9"}})";
        QTest::newRow("dropped") << drop << false << -1 << QByteArray();
        QTest::newRow("not JSON") << notJson << true << -1 << QByteArray();
        QTest::newRow("capitalised members") << capitals << true << 100 << QByteArray("tk-9");
    }
    void replyShapes()
    {
        QFETCH(sim::Fault, fault);
        QFETCH(bool, isAnswered);
        QFETCH(int, code);
        QFETCH(QByteArray, token);
        platform->setFault(QStringLiteral("getLintraToken"), fault);
        const TokenReply reply = ::requestToken(QStringLiteral("demo"), QStringLiteral("Demo@2026"));
        QCOMPARE(reply.answered, isAnswered);
        QCOMPARE(reply.code, code < 0 ? std::nullopt : std::optional<int>(code));
        QCOMPARE(reply.token, token.isNull() ? std::nullopt : std::optional<QByteArray>(token));
    }
};

QTEST_GUILESS_MAIN(TestSessionToken)
#include "tst_sessiontoken.moc"
