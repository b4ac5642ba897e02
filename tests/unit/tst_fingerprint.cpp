#include "platform/fingerprint.h"
#include "support/fakehostsystem.h"

#include <QRegularExpression>
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

QStringList repeated(int count, const QString &text)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << text;
    return list;
}

} // namespace

class TestFingerprint : public QObject {
    Q_OBJECT

private slots:
    void normalise_data();
    void normalise();
    void normaliseDecodesLocal8Bit();
    void fingerprint_data();
    void fingerprint();
    void fingerprintOfInstalledHost();
};

void TestFingerprint::normalise_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("header");
    QTest::addColumn<QString>("expected");

    QTest::newRow("two disks") << QByteArray("SerialNumber  \r\r\nABC  \r\r\nDEF  \r\r\n\r\r\n")
                               << QStringLiteral("serialnumber") << QStringLiteral("ABC DEF");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("uuid") << QString();
    QTest::newRow("header only") << QByteArray("UUID  \r\r\n\r\r\n") << QStringLiteral("uuid") << QString();
    QTest::newRow("header inside the value too") << QByteArray("SerialNumber\r\r\nXserialNUMBERY\r\r\n")
                                                 << QStringLiteral("serialnumber") << QStringLiteral("XY");
    QTest::newRow("lone carriage return joins")
        << QByteArray("Name\r\nA\rB") << QStringLiteral("Name") << QStringLiteral("AB");
    QTest::newRow("inner blanks and tabs collapse")
        << QByteArray("Name  \r\r\nIntel(R)   Core(TM)\ti7 CPU  \r\r\n") << QStringLiteral("Name")
        << QStringLiteral("Intel(R) Core(TM) i7 CPU");
    QTest::newRow("line break without blank joins")
        << QByteArray("ProcessorId\r\r\nBFEB\r\nFBFF") << QStringLiteral("processorid") << QStringLiteral("BFEBFBFF");
    QTest::newRow("no header word") << QByteArray("  4  \n") << QString() << QStringLiteral("4");
}

void TestFingerprint::normalise()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, header);
    QFETCH(QString, expected);
    QCOMPARE(normaliseCommandOutput(output, header), expected);
}

void TestFingerprint::normaliseDecodesLocal8Bit()
{
    QTextCodec *const saved = QTextCodec::codecForLocale();
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("ISO-8859-1"));
    const QString latin = normaliseCommandOutput(QByteArray("Name\r\nCaf\xe9\r\n"), QStringLiteral("Name"));
    QTextCodec::setCodecForLocale(QTextCodec::codecForName("UTF-8"));
    const QString utf8 =
        normaliseCommandOutput(QByteArray("Name\r\n\xe5\xa4\x84\xe7\x90\x86\xe5\x99\xa8\r\n"), QStringLiteral("Name"));
    QTextCodec::setCodecForLocale(saved);
    QCOMPARE(latin, QStringLiteral("Caf\u00e9"));
    QCOMPARE(utf8, QStringLiteral("处理器"));
}

void TestFingerprint::fingerprint_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QString>("expected");

    const QString emptyDigest = QStringLiteral("d41d8cd98f00b204e9800998ecf8427e");
    QTest::newRow("all eight empty") << repeated(8, QString()) << emptyDigest;
    QTest::newRow("no texts at all") << QStringList() << emptyDigest;
    QTest::newRow("blank texts") << repeated(8, QStringLiteral(" \r\r\n ")) << emptyDigest;

    const QStringList windowsLike = {
        QStringLiteral("Name  \r\r\nIntel(R) Core(TM) i7-8700 CPU @ 3.20GHz  \r\r\n\r\r\n"),
        QStringLiteral("NumberOfCores  \r\r\n6  \r\r\n\r\r\n"),
        QStringLiteral("NumberOfLogicalProcessors  \r\r\n12  \r\r\n\r\r\n"),
        QStringLiteral("ProcessorId  \r\r\nBFEBFBFF000906EA  \r\r\n\r\r\n"),
        QStringLiteral("SerialNumber  \r\r\n/7XYZ123/CN12/  \r\r\n\r\r\n"),
        QStringLiteral("SerialNumber  \r\r\n7XYZ123  \r\r\n\r\r\n"),
        QStringLiteral("UUID  \r\r\n4C4C4544-0037-5810-8059-B7C04F313233  \r\r\n\r\r\n"),
        QStringLiteral("SerialNumber  \r\r\nABC  \r\r\nDEF  \r\r\n\r\r\n"),
    };
    QTest::newRow("command outputs")
        << windowsLike
        << referenceMd5("Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz612BFEBFBFF000906EA/7XYZ123/CN12/7XYZ123"
                        "4C4C4544-0037-5810-8059-B7C04F313233ABC DEF");

    // Each position drops only its own header word.
    QStringList ownHeaders = repeated(8, QString());
    ownHeaders[0] = QStringLiteral("uuid-name");
    ownHeaders[4] = QStringLiteral("uuid-name");
    ownHeaders[6] = QStringLiteral("uuid-name");
    QTest::newRow("header words per position") << ownHeaders << referenceMd5("uuid-uuid-name-name");

    QTest::newRow("fewer than eight") << QStringList{QStringLiteral("Name\r\nAMD EPYC\r\n"), QStringLiteral("2")}
                                      << referenceMd5("AMD EPYC2");
    QTest::newRow("utf-8 of the text") << QStringList{QStringLiteral("处理器")} << referenceMd5("处理器");
}

void TestFingerprint::fingerprint()
{
    QFETCH(QStringList, texts);
    QFETCH(QString, expected);
    const QString result = hostFingerprint(texts);
    QCOMPARE(result, expected);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(result).hasMatch());
}

void TestFingerprint::fingerprintOfInstalledHost()
{
    FakeHostSystem host;
    host.hardware = QStringList{QStringLiteral("AMD EPYC"),
                                QStringLiteral("2"),
                                QStringLiteral("2"),
                                QStringLiteral("178BFBFF00B00F21"),
                                QString(),
                                QString(),
                                QString(),
                                QStringLiteral("1806")};
    QCOMPARE(hostFingerprint(), referenceMd5("AMD EPYC22178BFBFF00B00F211806"));
    QCOMPARE(host.hardwareQueries, 1);
}

QTEST_GUILESS_MAIN(TestFingerprint)
#include "tst_fingerprint.moc"
