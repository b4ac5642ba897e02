#include "support/filemode.h"
#include "support/workdir.h"
#include "tunnel/logic/managementpassword.h"
#include "tunnel/logic/tunnelfiles.h"

#include <QtTest>


using namespace TunnelFiles;

class TestTunnelFiles : public QObject {
    Q_OBJECT

private slots:
    void parameters_data();
    void parameters();
    void profileAndCredentialsBytes();
    void plainFileNames();
    void ownerOnlyWrites();
    void managementPasswordFile();
};

namespace {
int modeOf(const QString &path)
{
    return permissionBits(path);
}
} // namespace

void TestTunnelFiles::parameters_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("protocolLine"); // empty: refused

    const auto reply = [](const char *data) { return QByteArray("{\"code\":100,\"data\":{") + data + "}}"; };
    QTest::newRow("TCP") << reply(R"("port":1194,"ip":"10.0.0.1","requestWay":"TCP")") << QByteArray("proto tcp");
    QTest::newRow("udp") << reply(R"("port":1194,"ip":"10.0.0.1","requestWay":"udp")") << QByteArray("proto udp");
    QTest::newRow("UDP unchanged") << reply(R"("port":1194,"ip":"10.0.0.1","requestWay":"UDP")")
                                   << QByteArray("proto UDP");
    QTest::newRow("Tcp unchanged") << reply(R"("port":1194,"ip":"10.0.0.1","requestWay":"Tcp")")
                                   << QByteArray("proto Tcp");
    QTest::newRow("no requestWay") << reply(R"("port":1194,"ip":"10.0.0.1")") << QByteArray();
    QTest::newRow("no port") << reply(R"("ip":"10.0.0.1","requestWay":"udp")") << QByteArray();
    QTest::newRow("port as text") << reply(R"("port":"1194","ip":"10.0.0.1","requestWay":"udp")") << QByteArray();
    QTest::newRow("ip not text") << reply(R"("port":1194,"ip":10,"requestWay":"udp")") << QByteArray();
    QTest::newRow("directive smuggled in ip")
        << reply(R"("port":1194,"ip":"10.0.0.1 1194\r\nscript-security 2\r\nup /tmp/x","requestWay":"udp")")
        << QByteArray();
    QTest::newRow("line break in requestWay") << reply(R"("port":1194,"ip":"h","requestWay":"udp\nup /tmp/x")")
                                              << QByteArray();
    QTest::newRow("data missing") << QByteArray(R"({"code":100})") << QByteArray();
}

void TestTunnelFiles::parameters()
{
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, protocolLine);
    const std::optional<Parameters> parameters = readParameters(JsonDocument::parse(reply).root());
    QCOMPARE(parameters.has_value(), !protocolLine.isEmpty());
    if (parameters)
        QVERIFY(profileText(*parameters).contains("\r\n" + protocolLine + "\r\nremote 10.0.0.1 1194\r\n"));
}

void TestTunnelFiles::profileAndCredentialsBytes()
{
    Parameters parameters;
    parameters.protocol = "tcp";
    parameters.address = "vpn.example.test";
    parameters.port = 443;
    QCOMPARE(profileText(parameters),
             QByteArray("client\r\ndev tun\r\nproto tcp\r\nremote vpn.example.test 443\r\nresolv-retry infinite\r\n"
                        "nobind\r\npersist-key\r\npersist-tun\r\nca ca.crt\r\nauth-user-pass vpnconfig.ini\r\n"
                        "remote-cert-tls server\r\ncomp-lzo\r\nverb 3\r\nlog-append logs/openvpn.log\r\n"));
    QCOMPARE(profilePath(QStringLiteral("SN01")), QStringLiteral("./SN01.ovpn"));
    QCOMPARE(credentialsText("SN01", "p@ss word"), QByteArray("SN01\r\np@ss word\r\n"));
    QCOMPARE(caText(QByteArray("-----BEGIN\0tail", 15)), QByteArray("-----BEGIN"));
    QCOMPARE(caText("{\"code\":500,\"msg\":\"error\"}"), QByteArray("{\"code\":500,\"msg\":\"error\"}"));
}

void TestTunnelFiles::plainFileNames()
{
    for (const char *good : {"SN01", "TAP-DEMO-0001", "KV2410A00001", "tap.v2", "序列号01"})
        QVERIFY2(isPlainFileName(QString::fromUtf8(good)), good);
    for (const char *bad : {"", ".", "..", "../etc/x", "a/b", "a\\b", "-config", "a..b", "a\nb", "a\tb", "a\rb"})
        QVERIFY2(!isPlainFileName(QString::fromUtf8(bad)), bad);
}

void TestTunnelFiles::ownerOnlyWrites()
{
    ScopedWorkDir dir;
    QFile existing(dir.filePath(QStringLiteral("vpnconfig.ini")));
    QVERIFY(existing.open(QIODevice::WriteOnly));
    existing.write("a much longer old content than the new one\n");
    existing.close();
    QVERIFY(existing.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther | QFile::ReadGroup));

    QVERIFY(writeOwnerOnly(credentialsFile, "1"));
    QCOMPARE(modeOf(dir.filePath(QStringLiteral("vpnconfig.ini"))), 0600);
    QVERIFY(existing.open(QIODevice::ReadOnly));
    QCOMPARE(existing.readAll(), QByteArray("1"));

    QVERIFY(writeOwnerOnly(QStringLiteral("./fresh.ovpn"), "x"));
    QCOMPARE(modeOf(dir.filePath(QStringLiteral("fresh.ovpn"))), 0600);
    QVERIFY(!writeOwnerOnly(QStringLiteral("./no-such-dir/x"), "x"));
}

void TestTunnelFiles::managementPasswordFile()
{
    ManagementPassword first;
    QVERIFY(first.renew());
    const QString firstPath = first.filePath();
    QCOMPARE(modeOf(firstPath), 0600);
    {
        QFile file(firstPath); // closed again: Windows removes no open file
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), first.password() + '\n');
    }
    QVERIFY(first.password().size() >= 32);

    ManagementPassword second;
    QVERIFY(second.renew());
    QVERIFY(second.password() != first.password());
    QVERIFY(first.renew());
    QVERIFY(!QFile::exists(firstPath)); // the previous launch's file goes
    first.discard();
    QVERIFY(first.filePath().isEmpty());
}

QTEST_GUILESS_MAIN(TestTunnelFiles)
#include "tst_tunnelfiles.moc"
