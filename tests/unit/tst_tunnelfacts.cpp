#include "app/logtail.h"
#include "tunnel/logic/failureadvice.h"
#include "tunnel/logic/tunnelfacts.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {
const QDateTime t0(QDate(2026, 12, 9), QTime(5, 41, 10));
QString u(const char *text)
{
    return QString::fromUtf8(text);
}
QStringList strings(std::initializer_list<const char *> texts)
{
    QStringList list;
    for (const char *text : texts)
        list << u(text);
    return list;
}
const QByteArray connected = ">STATE:1765258870,CONNECTED,SUCCESS,10.8.0.6,203.0.113.5,1194,,\r\n";
} // namespace

class TestTunnelFacts : public QObject {
    Q_OBJECT

private slots:
    void connectedLineCarriesTheAddresses_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QStringList>("expected"); // tunnel, server, port
        QTest::newRow("OpenVPN 2.6") << connected
                                     << strings({"10.8.0.6", "203.0.113.5", "1194"});
        // An empty field keeps its place: the server is never read as the tunnel address.
        QTest::newRow("no IPv4 tunnel address")
            << QByteArray(">STATE:1,CONNECTED,SUCCESS,,2001:db8::1,443,,,fd00::2\n")
            << strings({"", "2001:db8::1", "443"});
        QTest::newRow("answer to state") << QByteArray("1700000000,CONNECTED,SUCCESS,10.8.0.6,127.0.0.1,1194,,,\r\n")
                                         << strings({"10.8.0.6", "127.0.0.1", "1194"});
        QTest::newRow("older, without remote fields")
            << QByteArray(">STATE:1,CONNECTED,SUCCESS,10.8.0.6\n") << strings({"10.8.0.6", "", ""});
    }
    void connectedLineCarriesTheAddresses()
    {
        QFETCH(QByteArray, line);
        QFETCH(QStringList, expected);
        TunnelFacts facts;
        noteManagementLine(facts, line, t0);
        QCOMPARE(QStringList({facts.tunnelAddress, facts.serverAddress, facts.serverPort}), expected);
        QCOMPARE(facts.connectedSince, t0);
    }

    void aConnectionFromStartToFall()
    {
        TunnelFacts facts;
        // Lines before the connection and other notifications change nothing.
        for (const char *line : {">STATE:1,TCP_CONNECT,,,,,,\n", ">INFO:OpenVPN Management Interface\n",
                                 "SUCCESS: real-time state notification set to ON\n"})
            noteManagementLine(facts, line, t0);
        QVERIFY(!facts.connectedSince.isValid() && facts.lastFailure.isEmpty());
        noteCounters(facts, 100, 200); // not connected: no traffic to show
        QVERIFY(!facts.sentBytes);

        noteManagementLine(facts, connected, t0);
        facts.protocol = protocolOfProfile("client\r\ndev tun\r\nproto udp\r\nremote 203.0.113.5 1194\r\n");
        noteCounters(facts, 1536, 3 * 1024 * 1024 + 512 * 1024);
        QCOMPARE(tunnelFactLines(facts),
                 strings({"通道地址：10.8.0.6", "连接时间：2026-12-09 05:41:10", "已发送 1.5 KB / 已接收 3.5 MB",
                              "服务器：203.0.113.5:1194 (udp)"}));
        // OpenVPN's own restart brings a second CONNECTED: the start time stays.
        noteManagementLine(facts, connected, t0.addSecs(600));
        QCOMPARE(facts.connectedSince, t0);

        noteManagementLine(facts, ">STATE:2,RECONNECTING,ping-restart,,,,,\n", t0.addSecs(900));
        QCOMPARE(facts.lastFailure, QStringLiteral("连接中断（ping-restart）"));
        QVERIFY(!facts.connectedSince.isValid() && !facts.sentBytes && facts.tunnelAddress.isEmpty());
        QCOMPARE(tunnelStatusLine(facts), QStringLiteral("通道未连接　·　上次故障：连接中断（ping-restart）"));
        // The reconnect's own RECONNECTING lines do not overwrite why the tunnel fell.
        noteManagementLine(facts, ">STATE:3,RECONNECTING,connection-reset,,,,,\n", t0.addSecs(960));
        QCOMPARE(facts.lastFailure, QStringLiteral("连接中断（ping-restart）"));

        noteManagementLine(facts, connected, t0.addSecs(1000));
        QCOMPARE(facts.connectedSince, t0.addSecs(1000));
        noteTunnelDown(facts, QStringLiteral("连接超时"));
        QVERIFY(!facts.connectedSince.isValid());
        QCOMPARE(facts.lastFailure, QStringLiteral("连接超时"));
    }

    void byteCounts_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("bytes") << quint64(1023) << u("1023 B");
        QTest::newRow("one KB") << quint64(1024) << u("1.0 KB");
        QTest::newRow("just under a MB") << quint64(1024 * 1024 - 1) << u("1024.0 KB");
        QTest::newRow("GB") << quint64(5) * 1024 * 1024 * 1024 << u("5.0 GB");
        QTest::newRow("largest") << std::numeric_limits<quint64>::max() << u("16777216.0 TB");
    }
    void byteCounts()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(byteCountText(bytes), text);
    }

    void connectTimeoutAdvice_data()
    {
        QTest::addColumn<QByteArray>("log");
        QTest::addColumn<QString>("first");  // the line shown
        QTest::addColumn<QString>("advice"); // a piece of the next step
        const QByteArray earlier = "2026-12-09 05:40:00 TCP: connect to [AF_INET]203.0.113.5:1194 failed: "
                                   "Connection refused\n";
        QTest::newRow("refused") << earlier + "2026-12-09 05:40:05 SIGUSR1[soft,connection-reset] received\n"
                                 << u("OpenVPN：TCP: connect to [AF_INET]203.0.113.5:1194 failed: Connection refused")
                                 << u("通道服务已启动");
        QTest::newRow("the last error wins")
            << earlier + "Wed Dec  9 05:40:30 2026 TLS Error: TLS handshake failed\n"
            << u("OpenVPN：TLS Error: TLS handshake failed") << u("TLS握手失败");
        QTest::newRow("auth") << earlier + "2026-12-09 05:40:31 AUTH: Received control message: AUTH_FAILED\r\n"
                              << u("OpenVPN：AUTH: Received control message: AUTH_FAILED") << u("重新绑定");
        QTest::newRow("no rights") << QByteArray("ERROR: Cannot ioctl TUNSETIFF korvane0: Operation not permitted\n")
                                   << u("OpenVPN：ERROR: Cannot ioctl TUNSETIFF korvane0: Operation not permitted")
                                   << u("setcap cap_net_admin+ep");
        QTest::newRow("nothing said") << QByteArray("2026-12-09 05:40:00 UDP link remote: 203.0.113.5:1194\n")
                                      << u("OpenVPN没有报告错误：服务器可能无应答。请检查网络后重试，详见logs/openvpn.log"
                                         "（托盘菜单或用户设置中的“查看日志”）。")
                                      << u("openvpn.log");
    }
    void connectTimeoutAdvice()
    {
        QFETCH(QByteArray, log);
        QFETCH(QString, first);
        QFETCH(QString, advice);
        const QString text = ::connectTimeoutAdvice(log);
        QCOMPARE(text.section(QLatin1Char('\n'), 0, 0), first);
        QVERIFY2(text.contains(advice), qPrintable(text));
    }

    void tunRightsAdviceNamesBothWays()
    {
        const QString text = tunRightsAdvice();
        QVERIFY(text.contains(QStringLiteral("root")));
        QVERIFY(text.contains(QStringLiteral("setcap cap_net_admin+ep \"$(command -v openvpn)\"")));
    }

    void logTailIsBounded()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("openvpn.log"));
        QCOMPARE(readLogTail(path, 0, 100).bytes, QByteArray()); // missing file
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 1000; ++i)
            file.write(QByteArray::number(i).rightJustified(9, '0') + '\n');
        file.flush();

        // A large log gives its last whole lines only.
        LogTail tail = readLogTail(path, 0, 25);
        QVERIFY(tail.skipped && !tail.restarted);
        QCOMPARE(tail.bytes, QByteArray("000000998\n000000999\n"));
        QCOMPARE(tail.end, 10000);
        // Then only what was appended.
        file.write("000001000\n");
        file.flush();
        tail = readLogTail(path, tail.end, 25);
        QCOMPARE(tail.bytes, QByteArray("000001000\n"));
        QVERIFY(!tail.skipped);
        // A log cut shorter than the offset is read again from its start.
        QVERIFY(file.resize(0));
        file.write("new\n");
        file.flush();
        tail = readLogTail(path, tail.end, 25);
        QVERIFY(tail.restarted);
        QCOMPARE(tail.bytes, QByteArray("new\n"));
    }
};

QTEST_GUILESS_MAIN(TestTunnelFacts)
#include "tst_tunnelfacts.moc"
