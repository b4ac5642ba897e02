#include "platform/fingerprint.h"
#include "support/fakehostsystem.h"

#include <QTextCodec>
#include <QtTest>

#include <openssl/evp.h>

namespace {

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

private slots:
    void normaliseCommandOutput();
    void fingerprint_data();
    void fingerprint();
    void fingerprintOfInstalledHost();
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

QTEST_GUILESS_MAIN(TestFingerprint)
#include "tst_fingerprint.moc"
