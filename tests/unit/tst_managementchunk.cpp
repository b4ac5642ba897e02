#include "tunnel/logic/managementchunk.h"
#include "tunnel/logic/startfailure.h"

#include <QtTest>

class TestManagementChunk : public QObject {
    Q_OBJECT

private slots:
    void judge_data();
    void judge();
    void reads_data();
    void reads();
    void lineReader();
    void repeatedLines();
    void startFailures();
};

void TestManagementChunk::judge_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("state"); // empty: not judged
    QTest::addColumn<bool>("connected");
    QTest::addColumn<bool>("reconnecting");

    QTest::newRow("connected") << QByteArray(">STATE:1700000000,CONNECTED,SUCCESS,10.8.0.6,10.213.0.1,1194,,,\r\n")
                               << QByteArray("CONNECTED") << true << false;
    QTest::newRow("connected with error") << QByteArray(">STATE:1700000000,CONNECTED,ERROR,10.8.0.6,,,,\r\n")
                                          << QByteArray("CONNECTED") << false << false;
    QTest::newRow("connection reset") << QByteArray(">STATE:1700000000,RECONNECTING,connection-reset,,,,,\r\n")
                                      << QByteArray("RECONNECTING") << false << true;
    // A dead server over UDP shows only as ping-restart.
    QTest::newRow("ping restart") << QByteArray(">STATE:1700000000,RECONNECTING,ping-restart,,,,,\r\n")
                                             << QByteArray("RECONNECTING") << false << true;
    // A connect is progress, never a fall.
    QTest::newRow("tcp connect with line end") << QByteArray(">STATE:1700000000,TCP_CONNECT,,,,,,\r\n")
                                               << QByteArray("TCP_CONNECT") << false << false;
    QTest::newRow("tcp connect without line end") << QByteArray(">STATE:1700000000,TCP_CONNECT,,,,,,")
                                                  << QByteArray() << false << false;
    QTest::newRow("case matters") << QByteArray(">STATE:1,connected,SUCCESS,\r\n") << QByteArray("connected") << false
                                  << false;
    // Greeting and command answers have no commas; they only become part of field 0.
    QTest::newRow("greeting in front") << QByteArray(">INFO:OpenVPN Management Interface Version 5 -- type 'help'\r\n"
                                                     "SUCCESS: real-time state notification set to ON\r\n"
                                                     "1700000000,CONNECTED,SUCCESS,10.8.0.6,10.213.0.1,1194,,,\r\n"
                                                     "END\r\n")
                                       << QByteArray("CONNECTED") << true << false;
    QTest::newRow("greeting alone") << QByteArray(">INFO:OpenVPN Management Interface Version 5\r\n") << QByteArray()
                                    << false << false;
    QTest::newRow("empty fields are dropped") << QByteArray("x,,,CONNECTED,,SUCCESS") << QByteArray("CONNECTED")
                                              << true << false;
    QTest::newRow("garbage") << QByteArray("\xff\xfe,\x00\x01,,\xc3", 8) << QByteArray("\x00\x01", 2) << false << false;
    QTest::newRow("nothing") << QByteArray() << QByteArray() << false << false;
}

void TestManagementChunk::judge()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, state);
    const ManagementChunk chunk = judgeManagementChunk(bytes);
    QCOMPARE(chunk.judged, !state.isEmpty());
    QCOMPARE(chunk.state, state);
    QTEST(chunk.connected(), "connected");
    QTEST(chunk.reconnecting(), "reconnecting");
}

void TestManagementChunk::reads_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArrayList>("states"); // judged lines in order
    QTest::addColumn<int>("connectedAt");       // index of the CONNECTED/SUCCESS line, -1: none
    QTest::addColumn<int>("drops");

    // OpenVPN over TCP writes these three in one go.
    QTest::newRow("assign, routes, connected")
        << QByteArray(">STATE:1,ASSIGN_IP,,10.8.77.2,,,,\r\n>STATE:1,ADD_ROUTES,,,,,,\r\n"
                      ">STATE:1,CONNECTED,SUCCESS,10.8.77.2,10.213.77.1,1194,10.213.77.2,47198\r\n")
        << QByteArrayList({"ASSIGN_IP", "ADD_ROUTES", "CONNECTED"}) << 2 << 0;
    QTest::newRow("state answer behind greeting")
        << QByteArray("SUCCESS: real-time state notification set to ON\r\n1,CONNECTED,SUCCESS,10.8.0.6,,,,\r\nEND\r\n")
        << QByteArrayList({"CONNECTED"}) << 0 << 0;
    QTest::newRow("tcp connect then failed")
        << QByteArray(">STATE:1,TCP_CONNECT,,,,,,\r\n>STATE:1,RECONNECTING,connection-failed,,,,,\r\n")
        << QByteArrayList({"TCP_CONNECT", "RECONNECTING"}) << -1 << 1;
    QTest::newRow("last line cut") << QByteArray(">STATE:1,WAIT,,,,,,\r\n>STATE:2,TCP_CONNECT,,,,,,")
                                   << QByteArrayList({"WAIT"}) << -1 << 0;
    QTest::newRow("fatal without commas") << QByteArray(">FATAL:ERROR: Cannot open TUN/TAP dev /dev/net/tun\r\n")
                                          << QByteArrayList() << -1 << 0;
}

void TestManagementChunk::reads()
{
    QFETCH(QByteArray, bytes);
    QByteArrayList states;
    int connectedAt = -1;
    int drops = 0;
    for (const ManagementChunk &line : judgeManagementRead(bytes)) {
        if (line.connected())
            connectedAt = states.size();
        drops += line.reconnecting();
        states << line.state;
    }
    QTEST(states, "states");
    QTEST(connectedAt, "connectedAt");
    QTEST(drops, "drops");
}

// A line cut anywhere by a read boundary is judged once, when its end arrives.
void TestManagementChunk::lineReader()
{
    const QByteArray stream = ">STATE:1,WAIT,,,,,,\r\n>STATE:2,CONNECTED,SUCCESS,10.8.0.6,10.213.0.1,1194,,,\r\n";
    for (int cut = 0; cut <= stream.size(); ++cut) {
        ManagementLineReader reader;
        QByteArrayList states;
        for (const QByteArray &read : {stream.left(cut), stream.mid(cut)}) {
            for (const ManagementChunk &line : reader.judge(read))
                states << line.state + (line.connected() ? "+" : "");
        }
        QCOMPARE(states, QByteArrayList({"WAIT", "CONNECTED+"}));
        QCOMPARE(reader.pendingBytes(), 0);
    }
    // Endless garbage without a line end is dropped, and the next real line still counts.
    ManagementLineReader reader;
    for (int i = 0; i < 100; ++i)
        QVERIFY(reader.judge(QByteArray(4096, ',')).isEmpty());
    QVERIFY(reader.pendingBytes() <= ManagementLineReader::lineLimit);
    reader.judge("\n");
    QCOMPARE(reader.judge(">STATE:3,RECONNECTING,ping-restart,,,,,\r\n").value(0).reconnecting(), true);
}

void TestManagementChunk::repeatedLines()
{
    RepeatedLineLog log;
    QStringList written;
    for (const char *line : {"A", "A", "A", "B", "A", "A"})
        written += log.take(QString::fromLatin1(line));
    QCOMPARE(written, QStringList({QStringLiteral("A"), QStringLiteral("以上消息又重复2次，未逐条记录"), QStringLiteral("B"),
                                   QStringLiteral("A")}));
}

void TestManagementChunk::startFailures()
{
    QCOMPARE(judgeTunnelStartFailure("sh: 1: openvpn: not found\n"), TunnelStartFailure::ProgramMissing);
    // cmd.exe on English and Chinese Windows (GBK) and under Wine.
    QCOMPARE(judgeTunnelStartFailure("'openvpn.exe' is not recognized as an internal or external command,\r\n"),
             TunnelStartFailure::ProgramMissing);
    QCOMPARE(judgeTunnelStartFailure(QByteArray("'openvpn.exe' ") + QByteArray("\xb2\xbb\xca\xc7\xc4\xda\xb2\xbf\xbb\xf2\xcd\xe2\xb2\xbf\xc3\xfc\xc1\xee")),
             TunnelStartFailure::ProgramMissing);
    QCOMPARE(judgeTunnelStartFailure("Can't recognize 'openvpn.exe --config \"T1.ovpn\"' as an internal or external command, or batch script.\r\n"),
             TunnelStartFailure::ProgramMissing);
    QCOMPARE(judgeTunnelStartFailure("'netsh' is not recognized as an internal or external command"), TunnelStartFailure::None);
    QCOMPARE(judgeTunnelStartFailure("2026-12-08 ERROR: Cannot ioctl TUNSETIFF korvane0: Operation not permitted "
                                     "(errno=1)\n"),
             TunnelStartFailure::NoTunRights);
    QCOMPARE(judgeTunnelStartFailure("Cannot open TUN/TAP dev /dev/net/tun: No such file or directory (errno=2)"),
             TunnelStartFailure::NoTunRights);
    QCOMPARE(judgeTunnelStartFailure("SIGTERM[hard,] received, process exiting\n"), TunnelStartFailure::None);
    QVERIFY(!tunnelStartFailureText(TunnelStartFailure::NoTunRights).isEmpty());
}

QTEST_APPLESS_MAIN(TestManagementChunk)
#include "tst_managementchunk.moc"
