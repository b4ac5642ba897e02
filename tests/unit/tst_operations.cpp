#include "api/operations.h"
#include "api/platformendpoint.h"

#include <QUrlQuery>
#include <QtTest>

Q_DECLARE_METATYPE(PlatformRequest)

class TestOperations : public QObject {
    Q_OBJECT

private slots:
    void catalogue_data()
    {
        QTest::addColumn<PlatformRequest>("request");
        using namespace Operations;
        const QByteArray tok("T0k3n");
        const QString gw = QStringLiteral("GW-001"), tap = QStringLiteral("TAP_9");
        // The expected operation and query is also the row's name.
        const auto row = [](const PlatformRequest &request, const char *expected) {
            QTest::newRow(expected) << request;
        };
        row(getLintraToken(QStringLiteral("alice"), QStringLiteral("s3cret")),
            "getLintraToken?userName=alice&passWord=s3cret");
        row(tapAuthLogin(tok, tap, QStringLiteral("pw"), QStringLiteral("192.168.1.20")),
            "tapAuthLogin?token=T0k3n&gatewaySn=TAP_9&passWord=pw&size=30&index=1&localip=192.168.1.20");
        row(updateTapAuth(tap, tok), "updateTapAuth?gatewaySn=TAP_9&token=T0k3n");
        row(getCustomerInfo(tok, 42), "getCustomerInfo?token=T0k3n&customerId=42");
        row(getCustomerInfo(tok, -7), "getCustomerInfo?token=T0k3n&customerId=-7");
        row(getConfigParam(tok, tap, QStringLiteral("pw")), "getConfigParam?token=T0k3n&gatewaySn=TAP_9&passWord=pw");
        row(getDownload(tok, tap), "getDownload?token=T0k3n&gatewaySn=TAP_9");
        row(clientRestartProject(tok, tap), "clientRestartProject?token=T0k3n&gatewaySn=TAP_9");
        row(gatewayVagueFindPage(tok, gw, QStringLiteral("pump"), QStringLiteral("north"), 5, 3),
            "gatewayVagueFind?token=T0k3n&gatewaySn=GW-001&gatewayName=pump&siteName=north"
            "&customerId=5&size=30&index=3");
        row(gatewayVagueFindPage(tok, QString(), QString(), QString(), 5, 12),
            "gatewayVagueFind?token=T0k3n&gatewaySn=&gatewayName=&siteName=&customerId=5&size=30&index=12");
        row(gatewayVagueFindSearch(tok, gw, QStringLiteral("pump"), QStringLiteral("north"), 5),
            "gatewayVagueFind?token=T0k3n&gatewaySn=GW-001&gatewayName=pump&siteName=north"
            "&customerId=5&size=30&index=1");
        row(getSiteInfo(tok, gw), "getSiteInfo?token=T0k3n&gatewaySn=GW-001");
        row(getSiteInfo(QByteArray(), gw), "getSiteInfo?token=&gatewaySn=GW-001");
        row(devicesListPage(tok, gw, 4, 5), "devicesList?token=T0k3n&gatewaySn=GW-001&size=25&index=4&customerId=5");
        row(devicesListFirstPage(tok, gw, 5), "devicesList?token=T0k3n&index=1&size=25&gatewaySn=GW-001&customerId=5");
        row(gatewayBatchFind(tok, {QStringLiteral("GW1"), QStringLiteral("GW2")}),
            "gatewayBatchFind?token=T0k3n&gatewaySn=GW1%2CGW2%2C");
        row(gatewayBatchFind(tok, {}), "gatewayBatchFind?token=T0k3n&gatewaySn=");
        row(devicesBatchFind(tok, {QStringLiteral("17"), QStringLiteral("18"), QStringLiteral("3")}),
            "devicesBatchFind?token=T0k3n&ids=17%2C18%2C3%2C");
        row(updateTunnelAndTapState(tok, tap, true, Q_INT64_C(5000000000)),
            "updateTunnelAndTapState?token=T0k3n&gatewaySn=TAP_9&tunnelOnline=1&tapOnline=1&flowData=5000000000");
        row(updateTunnelAndTapState(tok, tap, false, 0),
            "updateTunnelAndTapState?token=T0k3n&gatewaySn=TAP_9&tunnelOnline=0&tapOnline=1&flowData=0");
        row(tunnelAlarmData(tok, tap, 2), "tunnelAlarmData?token=T0k3n&gatewaySn=TAP_9&warnSort=1&warnType=2");
    }
    void catalogue()
    {
        QFETCH(PlatformRequest, request);
        QCOMPARE(request.operation + request.query, QByteArray(QTest::currentDataTag()));
        QCOMPARE(request.query.count('?'), 1);
        // Only the certificate download goes without the JSON content type.
        QCOMPARE(request.jsonContentType, request.operation != "getDownload");
    }

    void percentEncoding_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("encoded");
        QTest::newRow("unreserved kept") << QStringLiteral("AZaz09-._~") << QByteArray("AZaz09-._~");
        QTest::newRow("chinese") << QStringLiteral("张三") << QByteArray("%E5%BC%A0%E4%B8%89");
        QTest::newRow("ampersand, hash") << QStringLiteral("a&b#1") << QByteArray("a%26b%231");
        QTest::newRow("percent") << QStringLiteral("100%") << QByteArray("100%25");
        QTest::newRow("already encoded stays literal") << QStringLiteral("%41") << QByteArray("%2541");
        QTest::newRow("plus, space") << QStringLiteral("a+b c") << QByteArray("a%2Bb%20c");
        QTest::newRow("equals") << QStringLiteral("k=v") << QByteArray("k%3Dv");
        QTest::newRow("query and path signs") << QStringLiteral("?/:@") << QByteArray("%3F%2F%3A%40");
        QTest::newRow("control bytes") << QStringLiteral("\r\n") << QByteArray("%0D%0A");
        QTest::newRow("empty") << QString() << QByteArray();
    }
    void percentEncoding()
    {
        QFETCH(QString, value);
        QFETCH(QByteArray, encoded);
        QCOMPARE(Operations::percentEncode(value), encoded);
        QCOMPARE(Operations::percentEncode(value.toUtf8()), encoded);
        // A value can never add a pair: the server decodes exactly the two values as typed.
        const QUrlQuery parsed(QString::fromLatin1(Operations::getLintraToken(value, value).query.mid(1)));
        const auto items = parsed.queryItems(QUrl::FullyDecoded);
        QCOMPARE(items.size(), 2);
        QCOMPARE(items.at(0), qMakePair(QStringLiteral("userName"), value));
        QCOMPARE(items.at(1), qMakePair(QStringLiteral("passWord"), value));
    }

    void listValuesRoundTrip()
    {
        const QStringList serials{QStringLiteral("站A&1"), QStringLiteral("B=2"), QStringLiteral("C 3")};
        const QUrlQuery parsed(QString::fromLatin1(Operations::gatewayBatchFind("t", serials).query.mid(1)));
        QCOMPARE(parsed.queryItems().size(), 2);
        QCOMPARE(parsed.queryItemValue(QStringLiteral("gatewaySn"), QUrl::FullyDecoded),
                 QStringLiteral("站A&1,B=2,C 3,"));
    }

    void builtInEndpoint()
    {
        const PlatformEndpoint endpoint = builtInPlatformEndpoint();
        QVERIFY(endpoint.baseUrl.startsWith("https://") && !endpoint.baseUrl.endsWith('/'));
        QCOMPARE(endpoint.connectTimeoutMs, 10000L);
        QCOMPARE(endpoint.totalTimeoutMs, 30000L);
        QVERIFY(endpoint.caPem.isEmpty() || endpoint.caPem.contains("-----BEGIN CERTIFICATE-----"));
        QVERIFY(!endpoint.caPem.contains('\0')); // no generator's terminator
        QCOMPARE(platformEndpoint().baseUrl, endpoint.baseUrl);
    }
};

QTEST_GUILESS_MAIN(TestOperations)
#include "tst_operations.moc"
