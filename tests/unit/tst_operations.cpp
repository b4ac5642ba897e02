#include "api/operations.h"
#include "api/platformendpoint.h"

#include <QUrlQuery>
#include <QtTest>

Q_DECLARE_METATYPE(PlatformRequest)

class TestOperations : public QObject {
    Q_OBJECT

private slots:
    void catalogue_data();
    void catalogue();
    void percentEncoding_data();
    void percentEncoding();
    void valuesCannotAddPairs_data();
    void valuesCannotAddPairs();
    void listValuesRoundTrip();
    void urlJoinsBaseAndQuery();
    void builtInEndpoint();
};

void TestOperations::catalogue_data()
{
    QTest::addColumn<PlatformRequest>("request");
    QTest::addColumn<QByteArray>("operation");
    QTest::addColumn<QByteArray>("query");
    QTest::addColumn<bool>("jsonContentType");

    using namespace Operations;
    const QByteArray tok("T0k3n");
    const QString gw = QStringLiteral("GW-001");
    const QString tap = QStringLiteral("TAP_9");

    QTest::newRow("getLintraToken")
        << getLintraToken(QStringLiteral("alice"), QStringLiteral("s3cret")) << QByteArray("getLintraToken")
        << QByteArray("?userName=alice&passWord=s3cret") << true;
    QTest::newRow("tapAuthLogin")
        << tapAuthLogin(tok, tap, QStringLiteral("pw"), QStringLiteral("192.168.1.20")) << QByteArray("tapAuthLogin")
        << QByteArray("?token=T0k3n&gatewaySn=TAP_9&passWord=pw&size=30&index=1&localip=192.168.1.20") << true;
    QTest::newRow("updateTapAuth") << updateTapAuth(tap, tok) << QByteArray("updateTapAuth")
                                   << QByteArray("?gatewaySn=TAP_9&token=T0k3n") << true;
    QTest::newRow("getCustomerInfo") << getCustomerInfo(tok, 42) << QByteArray("getCustomerInfo")
                                     << QByteArray("?token=T0k3n&customerId=42") << true;
    QTest::newRow("getCustomerInfo negative") << getCustomerInfo(tok, -7) << QByteArray("getCustomerInfo")
                                              << QByteArray("?token=T0k3n&customerId=-7") << true;
    QTest::newRow("getConfigParam") << getConfigParam(tok, tap, QStringLiteral("pw")) << QByteArray("getConfigParam")
                                    << QByteArray("?token=T0k3n&gatewaySn=TAP_9&passWord=pw") << true;
    QTest::newRow("getDownload") << getDownload(tok, tap) << QByteArray("getDownload")
                                 << QByteArray("?token=T0k3n&gatewaySn=TAP_9") << false;
    QTest::newRow("clientRestartProject") << clientRestartProject(tok, tap) << QByteArray("clientRestartProject")
                                          << QByteArray("?token=T0k3n&gatewaySn=TAP_9") << true;
    QTest::newRow("gatewayVagueFind page")
        << gatewayVagueFindPage(tok, gw, QStringLiteral("pump"), QStringLiteral("north"), 5, 3)
        << QByteArray("gatewayVagueFind")
        << QByteArray("?token=T0k3n&gatewaySn=GW-001&gatewayName=pump&siteName=north&customerId=5&size=30&index=3")
        << true;
    QTest::newRow("gatewayVagueFind page, empty terms")
        << gatewayVagueFindPage(tok, QString(), QString(), QString(), 5, 12) << QByteArray("gatewayVagueFind")
        << QByteArray("?token=T0k3n&gatewaySn=&gatewayName=&siteName=&customerId=5&size=30&index=12") << true;
    QTest::newRow("gatewayVagueFind search")
        << gatewayVagueFindSearch(tok, gw, QStringLiteral("pump"), QStringLiteral("north"), 5)
        << QByteArray("gatewayVagueFind")
        << QByteArray("?token=T0k3n&gatewaySn=GW-001&gatewayName=pump&siteName=north&customerId=5&size=30&index=1")
        << true;
    QTest::newRow("getSiteInfo") << getSiteInfo(tok, gw) << QByteArray("getSiteInfo")
                                 << QByteArray("?token=T0k3n&gatewaySn=GW-001") << true;
    QTest::newRow("devicesList page") << devicesListPage(tok, gw, 4, 5) << QByteArray("devicesList")
                                      << QByteArray("?token=T0k3n&gatewaySn=GW-001&size=25&index=4&customerId=5")
                                      << true;
    QTest::newRow("devicesList first page") << devicesListFirstPage(tok, gw, 5) << QByteArray("devicesList")
                                            << QByteArray("?token=T0k3n&index=1&size=25&gatewaySn=GW-001&customerId=5")
                                            << true;
    QTest::newRow("gatewayBatchFind")
        << gatewayBatchFind(tok, {QStringLiteral("GW1"), QStringLiteral("GW2")}) << QByteArray("gatewayBatchFind")
        << QByteArray("?token=T0k3n&gatewaySn=GW1%2CGW2%2C") << true;
    QTest::newRow("gatewayBatchFind empty") << gatewayBatchFind(tok, {}) << QByteArray("gatewayBatchFind")
                                            << QByteArray("?token=T0k3n&gatewaySn=") << true;
    QTest::newRow("devicesBatchFind")
        << devicesBatchFind(tok, {QStringLiteral("17"), QStringLiteral("18"), QStringLiteral("3")})
        << QByteArray("devicesBatchFind") << QByteArray("?token=T0k3n&ids=17%2C18%2C3%2C") << true;
    QTest::newRow("updateTunnelAndTapState online")
        << updateTunnelAndTapState(tok, tap, true, Q_INT64_C(5000000000)) << QByteArray("updateTunnelAndTapState")
        << QByteArray("?token=T0k3n&gatewaySn=TAP_9&tunnelOnline=1&tapOnline=1&flowData=5000000000") << true;
    QTest::newRow("updateTunnelAndTapState offline")
        << updateTunnelAndTapState(tok, tap, false, 0) << QByteArray("updateTunnelAndTapState")
        << QByteArray("?token=T0k3n&gatewaySn=TAP_9&tunnelOnline=0&tapOnline=1&flowData=0") << true;
    QTest::newRow("tunnelAlarmData") << tunnelAlarmData(tok, tap, 2) << QByteArray("tunnelAlarmData")
                                     << QByteArray("?token=T0k3n&gatewaySn=TAP_9&warnSort=1&warnType=2") << true;
    QTest::newRow("empty token") << getSiteInfo(QByteArray(), gw) << QByteArray("getSiteInfo")
                                 << QByteArray("?token=&gatewaySn=GW-001") << true;
}

void TestOperations::catalogue()
{
    QFETCH(PlatformRequest, request);
    QFETCH(QByteArray, operation);
    QFETCH(QByteArray, query);
    QFETCH(bool, jsonContentType);

    QCOMPARE(request.operation, operation);
    QCOMPARE(request.query, query);
    QCOMPARE(request.jsonContentType, jsonContentType);
}

void TestOperations::percentEncoding_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("encoded");

    QTest::newRow("unreserved kept") << QStringLiteral("AZaz09-._~") << QByteArray("AZaz09-._~");
    QTest::newRow("chinese") << QStringLiteral("张三") << QByteArray("%E5%BC%A0%E4%B8%89");
    QTest::newRow("ampersand") << QStringLiteral("a&b") << QByteArray("a%26b");
    QTest::newRow("hash") << QStringLiteral("#1") << QByteArray("%231");
    QTest::newRow("percent") << QStringLiteral("100%") << QByteArray("100%25");
    QTest::newRow("already encoded stays literal") << QStringLiteral("%41") << QByteArray("%2541");
    QTest::newRow("plus") << QStringLiteral("a+b") << QByteArray("a%2Bb");
    QTest::newRow("space") << QStringLiteral("a b") << QByteArray("a%20b");
    QTest::newRow("equals") << QStringLiteral("k=v") << QByteArray("k%3Dv");
    QTest::newRow("query and path signs") << QStringLiteral("?/:@") << QByteArray("%3F%2F%3A%40");
    QTest::newRow("control bytes") << QStringLiteral("\r\n") << QByteArray("%0D%0A");
    QTest::newRow("empty") << QString() << QByteArray();
}

void TestOperations::percentEncoding()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, encoded);

    QCOMPARE(Operations::percentEncode(value), encoded);
    QCOMPARE(Operations::percentEncode(value.toUtf8()), encoded);
    // What a server decodes is the text as typed.
    QCOMPARE(QString::fromUtf8(QByteArray::fromPercentEncoding(encoded)), value);
}

void TestOperations::valuesCannotAddPairs_data()
{
    QTest::addColumn<QString>("userName");
    QTest::addColumn<QString>("passWord");

    QTest::newRow("injected pair") << QStringLiteral("bob&passWord=x") << QStringLiteral("real");
    QTest::newRow("fragment") << QStringLiteral("bob#frag") << QStringLiteral("p#w");
    QTest::newRow("chinese with spaces") << QStringLiteral("王 五") << QStringLiteral("密 码+1");
    QTest::newRow("empty") << QString() << QString();
}

void TestOperations::valuesCannotAddPairs()
{
    QFETCH(QString, userName);
    QFETCH(QString, passWord);

    const PlatformRequest request = Operations::getLintraToken(userName, passWord);
    QVERIFY(request.query.startsWith('?'));
    const QUrlQuery parsed(QString::fromLatin1(request.query.mid(1)));
    const auto items = parsed.queryItems(QUrl::FullyDecoded);
    QCOMPARE(items.size(), 2);
    QCOMPARE(items.at(0).first, QStringLiteral("userName"));
    QCOMPARE(items.at(0).second, userName);
    QCOMPARE(items.at(1).first, QStringLiteral("passWord"));
    QCOMPARE(items.at(1).second, passWord);
}

void TestOperations::listValuesRoundTrip()
{
    const QStringList serials{QStringLiteral("站A&1"), QStringLiteral("B=2"), QStringLiteral("C 3")};
    const PlatformRequest request = Operations::gatewayBatchFind(QByteArray("t"), serials);
    const QUrlQuery parsed(QString::fromLatin1(request.query.mid(1)));
    QCOMPARE(parsed.queryItems().size(), 2);
    QCOMPARE(parsed.queryItemValue(QStringLiteral("gatewaySn"), QUrl::FullyDecoded),
             QStringLiteral("站A&1,B=2,C 3,"));
}

void TestOperations::urlJoinsBaseAndQuery()
{
    const PlatformRequest request = Operations::getLintraToken(QStringLiteral("张三"), QStringLiteral("a b"));
    QCOMPARE(request.url(QByteArray("https://platform.example:8443")),
             QByteArray("https://platform.example:8443/lintraApi/getLintraToken?userName=%E5%BC%A0%E4%B8%89"
                        "&passWord=a%20b"));
}

void TestOperations::builtInEndpoint()
{
    const PlatformEndpoint endpoint = builtInPlatformEndpoint();
    QVERIFY(endpoint.baseUrl.startsWith("https://"));
    QVERIFY(!endpoint.baseUrl.endsWith('/'));
    QCOMPARE(endpoint.connectTimeoutMs, 10000L);
    QCOMPARE(endpoint.totalTimeoutMs, 30000L);
    // Either the system store (empty) or one embedded PEM, without the generator's terminator.
    if (!endpoint.caPem.isEmpty()) {
        QVERIFY(endpoint.caPem.contains("-----BEGIN CERTIFICATE-----"));
        QVERIFY(!endpoint.caPem.contains('\0'));
    }
    // The process-wide endpoint starts as the built-in one.
    QCOMPARE(platformEndpoint().baseUrl, endpoint.baseUrl);
    QCOMPARE(platformEndpoint().caPem, endpoint.caPem);
}

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_operations.moc"
