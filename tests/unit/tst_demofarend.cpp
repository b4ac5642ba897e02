// The demo world's far end as the simulator describes it: the address layout from KORVANE_DEMO_NET,
// the TAPs and devices joined to it, the tunnel users' check, the device pages and the console line
// of each platform call.
#include "sim/callline.h"
#include "sim/demofarend.h"
#include "sim/devicepages.h"

#include <QtTest>

class TestDemoFarEnd : public QObject {
    Q_OBJECT

private slots:
    void network_data()
    {
        QTest::addColumn<QString>("network");
        QTest::addColumn<QString>("server"); // empty: refused
        QTest::newRow("default") << QStringLiteral("10.231.0.0/16") << QStringLiteral("10.231.0.2");
        QTest::newRow("override") << QStringLiteral("172.29.0.0/16") << QStringLiteral("172.29.0.2");
        QTest::newRow("not a /16") << QStringLiteral("10.231.0.0/24") << QStringLiteral("");
        QTest::newRow("host bits") << QStringLiteral("10.231.4.0/16") << QStringLiteral("");
        QTest::newRow("octet out of range") << QStringLiteral("10.256.0.0/16") << QStringLiteral("");
        QTest::newRow("loopback") << QStringLiteral("127.1.0.0/16") << QStringLiteral("");
        QTest::newRow("link-local") << QStringLiteral("169.254.0.0/16") << QStringLiteral("");
        QTest::newRow("multicast") << QStringLiteral("239.1.0.0/16") << QStringLiteral("");
        QTest::newRow("shell text") << QStringLiteral("10.231.0.0/16;rm") << QStringLiteral("");
    }

    void network()
    {
        QFETCH(QString, network);
        QFETCH(QString, server);
        const std::optional<sim::FarEnd> farEnd = sim::parseFarEnd(network);
        QCOMPARE(farEnd ? farEnd->serverAddress() : QString(), server);
    }

    void joinedWorld()
    {
        const sim::FarEnd farEnd = *sim::parseFarEnd(QStringLiteral("10.231.0.0/16"));
        sim::World world = sim::demoWorld();
        sim::joinFarEnd(world, farEnd);
        QCOMPARE(world.caCertificatePem, sim::demoTunnelCaPem());
        const sim::Tap tcp = *world.findTap(QStringLiteral("TAP-DEMO-0001"));
        const sim::Tap udp = *world.findTap(QStringLiteral("TAP-DEMO-0002"));
        QCOMPARE(tcp.tunnelIp + QLatin1Char(' ') + QString::number(tcp.tunnelPort) + QLatin1Char(' ') + tcp.requestWay,
                 QStringLiteral("10.231.0.2 1194 TCP"));
        QCOMPARE(udp.tunnelIp + QLatin1Char(' ') + udp.requestWay, QStringLiteral("10.231.0.2 udp"));

        // Every device with a virtual address is in the pushed field network, and no two share one.
        QSet<QString> addresses;
        int devices = 0;
        for (const sim::Gateway &gateway : world.gateways) {
            for (const sim::Device &device : gateway.devices) {
                if (!gateway.site.isVirtuaIp)
                    continue;
                ++devices;
                addresses << device.virtualIp;
                const QStringList octets = device.virtualIp.split(QLatin1Char('.'));
                QVERIFY2(octets.size() == 4 && device.virtualIp.startsWith(QLatin1String("10.231.")) && octets[2].toInt() >= 128,
                         qPrintable(device.virtualIp));
                QVERIFY(gateway.site.siteWanIp.startsWith(octets.mid(0, 3).join(QLatin1Char('.')) + QLatin1String(".0/24")));
            }
        }
        QVERIFY(devices > 100);
        QCOMPARE(addresses.size(), devices);
        QCOMPARE(world.findGateway(QStringLiteral("KV2410A0001"))->devices.first().virtualIp,
                 QStringLiteral("10.231.129.10"));
    }

    void tunnelUsers()
    {
        const sim::World world = sim::demoWorld();
        QVERIFY(sim::isTapLogin(world, "TAP-DEMO-0002", "Tap #2 & +x"));
        QVERIFY(!sim::isTapLogin(world, "TAP-DEMO-0002", "Tap #2 & +x "));
        QVERIFY(!sim::isTapLogin(world, "TAP-DEMO-0001", "Tap #2 & +x")); // another TAP's password
        QVERIFY(!sim::isTapLogin(world, "TAP-DEMO-0009", "Tap@0009"));    // may not log in
        QVERIFY(!sim::isTapLogin(world, "", ""));
    }

    void devicePages()
    {
        sim::World world = sim::demoWorld();
        sim::joinFarEnd(world, *sim::parseFarEnd(QStringLiteral("10.231.0.0/16")));
        const QDateTime started(QDate(2026, 3, 1), QTime(8, 0, 0));
        const sim::DevicePage page =
            sim::devicePage(world, QStringLiteral("10.231.129.10"), started, started.addSecs(75), 3);
        QCOMPARE(page.httpStatus, 200);
        QVERIFY(page.html.contains("<h1>PLC控制柜-01</h1>"));
        QVERIFY(page.html.contains("(KV2410A0001)"));
        QVERIFY(page.html.contains("<td id=\"counter\">75</td>"));
        QVERIFY(page.html.contains("<td id=\"time\">2026-03-01 08:01:15</td>"));
        QVERIFY(page.html.contains("<td id=\"requests\">3</td>"));
        // An offline device says so and shows no live values; an address without a device is not found.
        const sim::DevicePage offline = sim::devicePage(world, QStringLiteral("10.231.129.13"), started, started, 1);
        QCOMPARE(offline.httpStatus, 503);
        QVERIFY(!offline.html.contains("counter"));
        QCOMPARE(sim::devicePage(world, QStringLiteral("10.231.129.200"), started, started, 1).httpStatus, 404);
    }

    void callLines()
    {
        sim::RecordedRequest request;
        request.operation = QStringLiteral("tapAuthLogin");
        request.query = {{QStringLiteral("token"), QStringLiteral("0123456789abcdef")},
                         {QStringLiteral("gatewaySn"), QStringLiteral("TAP-DEMO-0002")},
                         {QStringLiteral("passWord"), QStringLiteral("Tap #2 & +x")},
                         {QStringLiteral("siteName"), QStringLiteral("a\nb")}};
        QCOMPARE(sim::callLine(request, 200, R"({"code":10003,"msg":"x"})"),
                 QStringLiteral("tapAuthLogin  token=012345… gatewaySn=TAP-DEMO-0002 passWord=*** siteName=a b  -> 10003"));
        request.query = {{QStringLiteral("PASSWORD"), QStringLiteral("secret")}};
        QVERIFY(!sim::callLine(request, 200, "{}").contains(QStringLiteral("secret")));
        QVERIFY(sim::callLine(request, 500, "-----BEGIN").endsWith(QStringLiteral("-> HTTP 500 10 bytes")));
        QVERIFY(sim::callLine(request, 0, QByteArray()).endsWith(QStringLiteral("-> connection dropped")));
    }
};

QTEST_GUILESS_MAIN(TestDemoFarEnd)
#include "tst_demofarend.moc"
