#include "store/accountstore.h"
#include "support/workdir.h"

#include <QtTest>

#include <QRandomGenerator>

namespace {

// A stand-in for a cipher text: whole 16-byte blocks of binary bytes, distinct per label.
QByteArray block(const QByteArray &label)
{
    if (label == "-")
        return QByteArray();
    QByteArray bytes = label;
    bytes.append('\0');
    bytes.append(char(0xff));
    bytes.append("\r\n\",;=\\");
    bytes.append(char(0x92));
    bytes.append(QByteArray(15 - (bytes.size() + 15) % 16, '\x80'));
    return bytes;
}

// Space-separated labels; "-" is an empty entry.
QByteArrayList blocks(const char *labels)
{
    QByteArrayList list;
    for (const QByteArray &label : QByteArray(labels).split(' ')) {
        if (!label.isEmpty())
            list.append(block(label));
    }
    return list;
}

QByteArrayList eight(char prefix)
{
    QByteArrayList list;
    for (int i = 1; i <= 8; ++i)
        list.append(block(QByteArray(1, prefix) + QByteArray::number(i)));
    return list;
}

AccountStore::Lists lists(const QByteArrayList &names, const QByteArrayList &passwords, const QByteArrayList &flags)
{
    return AccountStore::Lists{names, passwords, flags};
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

#define COMPARE_LISTS(actual, expected)                                                                \
    do {                                                                                               \
        const AccountStore::Lists a_ = (actual);                                                       \
        const AccountStore::Lists e_ = (expected);                                                     \
        QCOMPARE(a_.userNames, e_.userNames);                                                          \
        QCOMPARE(a_.passwords, e_.passwords);                                                          \
        QCOMPARE(a_.flags, e_.flags);                                                                  \
    } while (false)

enum class Damage { Garbage, Truncated, CountBeyondPayload, TrailingBytes, PlainValue, UnknownEscape };

} // namespace

Q_DECLARE_METATYPE(AccountStore::Lists)
Q_DECLARE_METATYPE(Damage)

class TestAccountStore : public QObject {
    Q_OBJECT

private slots:
    void recordAccount_data();
    void recordAccount();
    void removeAccount_data();
    void removeAccount();
    void roundTripIsByteExact();
    void emptyListsAreStoredAsEmptyKeys();
    void missingFileReadsEmptyAndIsNotCreated();
    void windowsLineEndingsReadBack();
    void damagedFile_data();
    void damagedFile();
    void earlierDamagedCopyIsKept();
    void cleanFileGetsNoCopy();
};

void TestAccountStore::recordAccount_data()
{
    QTest::addColumn<AccountStore::Lists>("stored");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("flag");
    QTest::addColumn<AccountStore::Lists>("expected");

    QTest::newRow("new account with three stored: appended last")
        << lists(blocks("a b c"), blocks("pa pb pc"), blocks("t f t")) << block("d") << block("pd") << block("f")
        << lists(blocks("a b c d"), blocks("pa pb pc pd"), blocks("t f t f"));
    QTest::newRow("account at the head moves to the tail with its new password and flag")
        << lists(blocks("a b c"), blocks("pa pb pc"), blocks("t f t")) << block("a") << block("pa2") << block("f")
        << lists(blocks("b c a"), blocks("pb pc pa2"), blocks("f t f"));
    QTest::newRow("middle account moves to the tail")
        << lists(blocks("a b c"), blocks("pa pb pc"), blocks("t f t")) << block("b") << block("pb") << block("t")
        << lists(blocks("a c b"), blocks("pa pc pb"), blocks("t t t"));
    QTest::newRow("ninth account is not added")
        << lists(eight('n'), eight('p'), eight('f')) << block("n9") << block("p9") << block("f9")
        << lists(eight('n'), eight('p'), eight('f'));
    QTest::newRow("a stored account is still updated when eight are stored")
        << lists(eight('n'), eight('p'), eight('f')) << block("n1") << block("new") << block("f1")
        << lists(eight('n').mid(1) + blocks("n1"), eight('p').mid(1) + blocks("new"), eight('f').mid(1) + blocks("f1"));
    QTest::newRow("empty name is never recorded")
        << lists(blocks("a"), blocks("pa"), blocks("t")) << QByteArray() << block("p") << block("t")
        << lists(blocks("a"), blocks("pa"), blocks("t"));
    QTest::newRow("empty name with nothing stored")
        << lists({}, {}, {}) << QByteArray() << block("p") << block("-") << lists({}, {}, {});
    QTest::newRow("first login, flag never chosen: empty flag stored")
        << lists({}, {}, {}) << block("a") << block("pa") << QByteArray()
        << lists(blocks("a"), blocks("pa"), blocks("-"));
    QTest::newRow("stored at a position the shorter lists lack")
        << lists(blocks("a b c"), blocks("pa"), {}) << block("c") << block("pc") << block("t")
        << lists(blocks("a b c"), blocks("pa pc"), blocks("t"));
    QTest::newRow("limit applies per list")
        << lists(eight('n'), eight('p').mid(0, 2), {}) << block("n9") << block("p9") << block("t")
        << lists(eight('n'), eight('p').mid(0, 2) + blocks("p9"), blocks("t"));
    QTest::newRow("only passwords full: name added, password not")
        << lists(blocks("a"), eight('p'), blocks("t")) << block("b") << block("p9") << block("f")
        << lists(blocks("a b"), eight('p'), blocks("t f"));
    QTest::newRow("duplicate names: only the first moves")
        << lists(blocks("a a b"), blocks("p1 p2 pb"), blocks("t t t")) << block("a") << block("p3") << block("f")
        << lists(blocks("a b a"), blocks("p2 pb p3"), blocks("t t f"));
}

void TestAccountStore::recordAccount()
{
    QFETCH(AccountStore::Lists, stored);
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, flag);
    QFETCH(AccountStore::Lists, expected);

    AccountStore::recordAccount(stored, name, password, flag);
    COMPARE_LISTS(stored, expected);
}

void TestAccountStore::removeAccount_data()
{
    QTest::addColumn<AccountStore::Lists>("stored");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<int>("position");
    QTest::addColumn<AccountStore::Lists>("expected");

    QTest::newRow("middle of three") << lists(blocks("a b c"), blocks("pa pb pc"), blocks("t f t")) << block("b") << 1
                                     << lists(blocks("a c"), blocks("pa pc"), blocks("t t"));
    QTest::newRow("unknown name") << lists(blocks("a b"), blocks("pa pb"), blocks("t f")) << block("x") << -1
                                  << lists(blocks("a b"), blocks("pa pb"), blocks("t f"));
    QTest::newRow("the only account") << lists(blocks("a"), blocks("pa"), blocks("t")) << block("a") << 0
                                      << lists({}, {}, {});
    QTest::newRow("shorter lists lack the position") << lists(blocks("a b c"), blocks("pa"), {}) << block("c") << 2
                                                     << lists(blocks("a b"), blocks("pa"), {});
    QTest::newRow("first of duplicates") << lists(blocks("a b a"), blocks("p1 pb p2"), blocks("t t f")) << block("a")
                                         << 0 << lists(blocks("b a"), blocks("pb p2"), blocks("t f"));
}

void TestAccountStore::removeAccount()
{
    QFETCH(AccountStore::Lists, stored);
    QFETCH(QByteArray, name);
    QFETCH(int, position);
    QFETCH(AccountStore::Lists, expected);

    QCOMPARE(AccountStore::removeAccount(stored, name), position);
    COMPARE_LISTS(stored, expected);
}

void TestAccountStore::roundTripIsByteExact()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.append(char(i));
    // Hex digits after numeric bytes, quotes, separators and a closing parenthesis are the cases
    // the INI escaping has to get right.
    const AccountStore::Lists stored = lists({everyByte, QByteArray(16, '\0'), QByteArray("\0a1\x7f" "F)", 6)},
                                             {QByteArray("a,b;c=d \"e\" \\", 13), QByteArray(32, char(0xff))},
                                             {QByteArray(16, ')'), QByteArray(), everyByte + everyByte});

    AccountStore::save(stored);
    COMPARE_LISTS(AccountStore::load(), stored);
    // The file format is QSettings' own serialisation of byte-array lists.
    const QByteArray content = readFile(workDir.filePath(QStringLiteral("login.ini")));
    QVERIFY(content.startsWith("[config]\n"));
    QCOMPARE(content.count("=@Variant(") + content.count("=\"@Variant("), 3);

    AccountStore::save(stored);
    COMPARE_LISTS(AccountStore::load(), stored);
    QVERIFY(!QFileInfo::exists(workDir.filePath(QStringLiteral("login.ini.corrupt"))));
}

void TestAccountStore::emptyListsAreStoredAsEmptyKeys()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    AccountStore::save(lists(blocks("a"), blocks("pa"), blocks("t")));
    AccountStore::save(lists({}, {}, {}));

    QSettings settings(workDir.filePath(QStringLiteral("login.ini")), QSettings::IniFormat);
    for (const QString &key : {QStringLiteral("config/username"), QStringLiteral("config/password"),
                              QStringLiteral("config/isrembered")}) {
        QVERIFY2(settings.contains(key), qPrintable(key));
        QCOMPARE(settings.value(key).userType(), int(QMetaType::QByteArrayList));
    }
    COMPARE_LISTS(AccountStore::load(), lists({}, {}, {}));
}

void TestAccountStore::missingFileReadsEmptyAndIsNotCreated()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    COMPARE_LISTS(AccountStore::load(), lists({}, {}, {}));
    QVERIFY(QDir(workDir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).isEmpty());
}

void TestAccountStore::windowsLineEndingsReadBack()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    const AccountStore::Lists stored = lists(blocks("a b"), blocks("pa pb"), blocks("t f"));
    AccountStore::save(stored, QStringLiteral("./written.ini"));
    QByteArray content = readFile(QStringLiteral("written.ini"));
    content.replace("\n", "\r\n");
    QVERIFY(writeFile(QStringLiteral("login.ini"), content));

    COMPARE_LISTS(AccountStore::load(), stored);
    AccountStore::save(stored);
    QVERIFY(!QFileInfo::exists(QStringLiteral("login.ini.corrupt")));
}

void TestAccountStore::damagedFile_data()
{
    QTest::addColumn<Damage>("damage");
    QTest::newRow("garbage bytes") << Damage::Garbage;
    QTest::newRow("truncated variant") << Damage::Truncated;
    QTest::newRow("list count beyond its bytes") << Damage::CountBeyondPayload;
    QTest::newRow("bytes after the list") << Damage::TrailingBytes;
    QTest::newRow("plain text value") << Damage::PlainValue;
    QTest::newRow("escape the writer never makes") << Damage::UnknownEscape;
}

void TestAccountStore::damagedFile()
{
    QFETCH(Damage, damage);
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    const AccountStore::Lists earlier = lists(blocks("a b c"), blocks("pa pb pc"), blocks("t f t"));
    AccountStore::save(earlier, QStringLiteral("./valid.ini"));
    const QByteArray valid = readFile(QStringLiteral("valid.ini"));

    QByteArray content;
    switch (damage) {
    case Damage::Garbage: {
        QRandomGenerator random(20220901);
        for (int i = 0; i < 4096; ++i)
            content.append(char(random.bounded(256)));
        break;
    }
    case Damage::Truncated:
        content = valid.left(valid.size() * 6 / 10);
        break;
    case Damage::CountBeyondPayload:
        // A damaged element count: Qt would reserve room for two billion entries.
        content = valid + "extra=@Variant(\\0\\0\\0\\x92\\x7f\\xff\\xff\\xf0)\n";
        break;
    case Damage::TrailingBytes:
        content = valid + "extra=@Variant(\\0\\0\\0\\x92\\0\\0\\0\\0\\x1)\n";
        break;
    case Damage::PlainValue:
        content = valid + "extra=abc\n";
        break;
    case Damage::UnknownEscape:
        content = valid;
        content.replace("@Variant(\\0", "@Variant(\\q");
        QVERIFY(content != valid);
        break;
    }
    QVERIFY(writeFile(QStringLiteral("login.ini"), content));

    // Reading gives empty lists and leaves the file alone.
    COMPARE_LISTS(AccountStore::load(), lists({}, {}, {}));
    QCOMPARE(readFile(QStringLiteral("login.ini")), content);
    QVERIFY(!QFileInfo::exists(QStringLiteral("login.ini.corrupt")));

    // The first write keeps a copy of what the file held.
    const AccountStore::Lists now = lists(blocks("d"), blocks("pd"), blocks("t"));
    AccountStore::save(now);
    QCOMPARE(readFile(QStringLiteral("login.ini.corrupt")), content);
    COMPARE_LISTS(AccountStore::load(), now);

    AccountStore::save(earlier);
    COMPARE_LISTS(AccountStore::load(), earlier);
    QVERIFY(!QFileInfo::exists(QStringLiteral("login.ini.corrupt.1")));
}

void TestAccountStore::earlierDamagedCopyIsKept()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    QVERIFY(writeFile(QStringLiteral("login.ini.corrupt"), "older"));
    QVERIFY(writeFile(QStringLiteral("login.ini.corrupt.1"), "old"));
    QVERIFY(writeFile(QStringLiteral("login.ini"), "[config]\nusername=@Variant(\\0\\0"));

    AccountStore::save(lists(blocks("a"), blocks("pa"), blocks("t")));

    QCOMPARE(readFile(QStringLiteral("login.ini.corrupt")), QByteArray("older"));
    QCOMPARE(readFile(QStringLiteral("login.ini.corrupt.1")), QByteArray("old"));
    QCOMPARE(readFile(QStringLiteral("login.ini.corrupt.2")), QByteArray("[config]\nusername=@Variant(\\0\\0"));
    COMPARE_LISTS(AccountStore::load(), lists(blocks("a"), blocks("pa"), blocks("t")));
}

void TestAccountStore::cleanFileGetsNoCopy()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    {
        // Written by QSettings itself, as an earlier run of the program would have.
        QSettings settings(QStringLiteral("./login.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("config/username"), QVariant::fromValue(blocks("a b")));
    }
    COMPARE_LISTS(AccountStore::load(), lists(blocks("a b"), {}, {}));

    AccountStore::save(lists(blocks("a b"), blocks("pa pb"), blocks("t f")));

    QVERIFY(!QFileInfo::exists(QStringLiteral("login.ini.corrupt")));
    COMPARE_LISTS(AccountStore::load(), lists(blocks("a b"), blocks("pa pb"), blocks("t f")));
}

QTEST_GUILESS_MAIN(TestAccountStore)
#include "tst_accountstore.moc"
