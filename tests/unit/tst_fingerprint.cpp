#include "platform/fingerprint.h"
#include "platform/hostsystem.h"
#include "support/fakehostsystem.h"

#include <QTextCodec>
#include <QtTest>

#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const char helperSwitch[] = "--print-hardware";

// This process's view of the host: the eight texts and the fingerprint, one per line.
int printHardware()
{
    const QStringList texts = hostSystem().hardwareTexts();
    std::printf("%s\n%s\n", texts.join(QLatin1Char('|')).toUtf8().constData(), hostFingerprint().toUtf8().constData());
    return 0;
}

// Reference digest from OpenSSL, independent of the client's own hashing.
QString referenceMd5(const QByteArray &bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(bytes.constData(), size_t(bytes.size()), digest, &length, EVP_md5(), nullptr);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}

} // namespace

class TestFingerprint : public QObject {
    Q_OBJECT

public:
    QString rootSkipReason;

private slots:
    void normaliseCommandOutput();
    void fingerprint_data();
    void fingerprint();
    void fingerprintOfInstalledHost();
    void sameForEveryUser();
};

void TestFingerprint::normaliseCommandOutput()
{
    const QByteArray disks("SerialNumber  \r\r\nABC  \r\r\nDEF  \r\r\n\r\r\n");
    QCOMPARE(::normaliseCommandOutput(disks, QStringLiteral("serialnumber")), QStringLiteral("ABC DEF"));
    // Decoded with the locale's code page, not as UTF-8.
    QTextCodec *const saved = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    const QString latin = ::normaliseCommandOutput(QByteArray("Name\r\nCaf\xe9\r\n"), QStringLiteral("Name"));
    QTextCodec::setCodecForLocale(saved);
    QCOMPARE(latin, QStringLiteral("Caf\u00e9"));
}

void TestFingerprint::fingerprint_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("expected");
    // Texts separated by '|'; then what the digest is taken of.
    const auto row = [](const char *name, const char *texts, const char *hashed) {
        QTest::newRow(name) << QString::fromUtf8(texts).split(QLatin1Char('|')) << referenceMd5(hashed);
    };
    QTest::newRow("no texts at all") << QStringList() << QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
    row("all eight empty or blank", "| \r\r\n ||\t|||| |\r\n", "");
    row("fewer than eight, utf-8", "Name\r\n处理器\r\n|2", "处理器2");
    // Positions 0, 4 and 6 drop "name", nothing and "uuid" respectively, in any letter case.
    row("header word per position", "uuid-NAME||||uuid-name||UUID-name", "uuid-uuid-name-name");
    row("header inside the value", "|||||||SerialNumber\r\r\nXserialNUMBERY\r\r\n", "XY");
    row("joins, collapses", "Name \r\nCore   i7\tCPU  \r\r\n|||ProcessorId\r\r\nBFEB\r\nFB\rFF", "Core i7 CPUBFEBFBFF");
    row("command outputs in order",
        "Name  \r\r\nIntel(R) Core(TM) i7-8700 CPU @ 3.20GHz  \r\r\n\r\r\n|NumberOfCores  \r\r\n6  \r\r\n\r\r\n|"
        "NumberOfLogicalProcessors  \r\r\n12  \r\r\n\r\r\n|ProcessorId  \r\r\nBFEBFBFF000906EA  \r\r\n\r\r\n|"
        "SerialNumber  \r\r\n/7XYZ123/CN12/  \r\r\n\r\r\n|SerialNumber  \r\r\n7XYZ123  \r\r\n\r\r\n|"
        "UUID  \r\r\n4C4C4544-0037-5810-8059-B7C04F313233  \r\r\n\r\r\n|SerialNumber  \r\r\nABC  \r\r\nDEF  \r\r\n",
        "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz612BFEBFBFF000906EA/7XYZ123/CN12/7XYZ1234C4C4544-0037-5810-8059-"
        "B7C04F313233ABC DEF");
}

void TestFingerprint::fingerprint()
{
    QFETCH(QStringList, texts);
    QTEST(hostFingerprint(texts), "expected");
}

void TestFingerprint::fingerprintOfInstalledHost()
{
    FakeHostSystem host;
    host.hardware = QStringList{QStringLiteral("AMD EPYC"), QStringLiteral("2"), QStringLiteral("4"),
                                QStringLiteral("178BFBFF00B00F21"), {}, {}, {}, QStringLiteral("1806")};
    QCOMPARE(hostFingerprint(), referenceMd5("AMD EPYC24178BFBFF00B00F211806"));
    QCOMPARE(host.hardwareQueries, 1);
}

// The same PC must send the same fingerprint whoever runs the client. Inside a private mount
// namespace the DMI serials are made root-only, as on a real PC; then the host is read as root and
// as nobody.
void TestFingerprint::sameForEveryUser()
{
    rootSkipReason = ::geteuid() != 0 ? QStringLiteral("reading as another user needs root") : QString();
    if (!rootSkipReason.isEmpty())
        QSKIP(qPrintable(rootSkipReason));
    const QString script = QStringLiteral(
        "mount -t tmpfs -o size=64k korvane-test /sys/class && mkdir -p /sys/class/dmi/id || exit 77\n"
        "for name in board_serial product_serial product_uuid; do\n"
        "  echo \"KV-$name-4711\" > /sys/class/dmi/id/$name && chmod 0400 /sys/class/dmi/id/$name\n"
        "done\n"
        "\"$0\" %1 && echo == && setpriv --reuid=65534 --regid=65534 --clear-groups \"$0\" %1\n")
                               .arg(QLatin1String(helperSwitch));
    QProcess run;
    run.start(QStringLiteral("unshare"), {QStringLiteral("--mount"), QStringLiteral("--propagation"),
                                          QStringLiteral("private"), QStringLiteral("/bin/sh"), QStringLiteral("-c"),
                                          script, QCoreApplication::applicationFilePath()});
    QVERIFY(run.waitForFinished(30000));
    if (run.exitCode() == 77) {
        rootSkipReason = QStringLiteral("no private mount namespace");
        QSKIP(qPrintable(rootSkipReason));
    }
    const QStringList views = QString::fromUtf8(run.readAllStandardOutput()).split(QStringLiteral("==\n"));
    QVERIFY2(run.exitCode() == 0 && views.size() == 2, run.readAllStandardError().constData());
    QVERIFY2(QRegularExpression(QStringLiteral("\n[0-9a-f]{32}\n$")).match(views[0]).hasMatch(), qPrintable(views[0]));
    QCOMPARE(views[1], views[0]);
}

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], helperSwitch) == 0) {
        QCoreApplication app(argc, argv);
        return printHardware();
    }
    QCoreApplication app(argc, argv);
    TestFingerprint test;
    const int failures = QTest::qExec(&test, argc, argv);
    if (failures == 0 && !test.rootSkipReason.isEmpty()) {
        // The rest passed, but the part that needs root did not run: report skipped, not passed.
        std::printf("SKIP: %s\n", test.rootSkipReason.toUtf8().constData());
        return 77;
    }
    return failures;
}

#include "tst_fingerprint.moc"
