#include "store/accountstore.h"
#include "support/workdir.h"

#include <QDir>
#include <QtTest>

#include <QRandomGenerator>

namespace {

// A stand-in for one cipher text: binary bytes told apart by their label; "-" is an empty value.
QByteArray block(const QByteArray &label)
{
    return label == "-" ? QByteArray() : label + QByteArray("\0\xff\r\n\",;=\\\x92", 10);
}

// "names|passwords|flags", each a space-separated list of labels.
AccountStore::Lists lists(const QByteArray &layout)
{
    QList<QByteArrayList> parts{{}, {}, {}};
    for (int i = 0; i < 3; ++i)
        for (const QByteArray &label : layout.split('|').value(i).split(' '))
            parts[i] += label.isEmpty() ? QByteArrayList() : QByteArrayList{block(label)};
    return {parts[0], parts[1], parts[2]};
}

QList<QByteArrayList> all(const AccountStore::Lists &lists)
{
    return {lists.userNames, lists.passwords, lists.flags};
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

const QByteArray Eight("n1 n2 n3 n4 n5 n6 n7 n8|p1 p2 p3 p4 p5 p6 p7 p8|f1 f2 f3 f4 f5 f6 f7 f8");

} // namespace

class TestAccountStore : public QObject {
    Q_OBJECT

private slots:
    void update_data();
    void update();
    void roundTripIsByteExact();
    void damagedFileReadsEmptyAndIsKept();
};

void TestAccountStore::update_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("action"); // "+name password flag" records a login, "-name position" removes
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char *name, const QByteArray &stored, const char *action, const QByteArray &expected) {
        QTest::newRow(name) << stored << QByteArray(action) << expected;
    };
    row("new with three stored: last", "a b c|pa pb pc|t f t", "+d pd f", "a b c d|pa pb pc pd|t f t f");
    row("stored: to the tail, new password and flag", "a b c|pa pb pc|t f t", "+a pa2 f", "b c a|pb pc pa2|f t f");
    row("ninth not added", Eight, "+n9 p9 f9", Eight);
    row("stored one updated with eight stored", Eight, "+n1 new f1",
        "n2 n3 n4 n5 n6 n7 n8 n1|p2 p3 p4 p5 p6 p7 p8 new|f2 f3 f4 f5 f6 f7 f8 f1");
    row("limit per list", "n1 n2 n3 n4 n5 n6 n7 n8|p1 p2|", "+n9 p9 t", "n1 n2 n3 n4 n5 n6 n7 n8|p1 p2 p9|t");
    row("empty name never recorded", "a|pa|t", "+- p t", "a|pa|t");
    row("empty flag stored", "||", "+a pa -", "a|pa|-");
    row("record at a position shorter lists lack", "a b c|pa|", "+c pc t", "a b c|pa pc|t");
    row("record duplicate names: the first moves", "a a b|p1 p2 pb|t t t", "+a p3 f", "a b a|p2 pb p3|t t f");
    row("remove the middle of three", "a b c|pa pb pc|t f t", "-b 1", "a c|pa pc|t t");
    row("remove unknown", "a b|pa pb|t f", "-x -1", "a b|pa pb|t f");
    row("remove at a position shorter lists lack", "a b c|pa|", "-c 2", "a b|pa|");
    row("remove the first of duplicates", "a b a|p1 pb p2|t t f", "-a 0", "b a|pb p2|t f");
}

void TestAccountStore::update()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, action);
    QFETCH(QByteArray, expected);
    AccountStore::Lists accounts = lists(stored);
    const QByteArrayList words = action.mid(1).split(' ');
    if (action.startsWith('+'))
        AccountStore::recordAccount(accounts, block(words[0]), block(words[1]), block(words[2]));
    else
        QCOMPARE(AccountStore::removeAccount(accounts, block(words[0])), words[1].toInt());
    QCOMPARE(all(accounts), all(lists(expected)));
}

void TestAccountStore::roundTripIsByteExact()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    QCOMPARE(all(AccountStore::load()), all(lists("")));
    QVERIFY(!QFileInfo::exists(AccountStore::filePath()));

    QByteArray everyByte;
    for (int i = 0; i < 256; ++i)
        everyByte.append(char(i));
    // Hex digits after numeric bytes, quotes, separators and a closing parenthesis are the cases
    // the INI escaping has to get right.
    const AccountStore::Lists stored{{everyByte, QByteArray(16, '\0'), QByteArray("\0a1\x7f" "F)", 6)},
                                     {QByteArray("a,b;c=d \"e\" \\", 13), QByteArray(32, char(0xff))},
                                     {QByteArray(16, ')'), QByteArray(), everyByte + everyByte}};
    for (int round = 0; round < 2; ++round) {
        AccountStore::save(stored);
        QCOMPARE(all(AccountStore::load()), all(stored));
    }
    // QSettings' own serialisation of byte-array lists, as earlier versions wrote it.
    const QByteArray content = readFile(AccountStore::filePath());
    QVERIFY(content.startsWith("[config]\n"));
    QCOMPARE(content.count("=@Variant(") + content.count("=\"@Variant("), 3);

    // A file edited on Windows reads the same; emptied lists are written, not left as they were.
    QVERIFY(writeFile(AccountStore::filePath(), QByteArray(content).replace("\n", "\r\n")));
    QCOMPARE(all(AccountStore::load()), all(stored));
    AccountStore::save(lists(""));
    QCOMPARE(all(AccountStore::load()), all(lists("")));
    QVERIFY(!QFileInfo::exists(QStringLiteral("login.ini.corrupt")));
}

void TestAccountStore::damagedFileReadsEmptyAndIsKept()
{
    QByteArray valid;
    {
        ScopedWorkDir workDir;
        AccountStore::save(lists("a b c|pa pb pc|t f t"));
        valid = readFile(AccountStore::filePath());
    }
    QByteArray garbage(4096, '\0');
    QRandomGenerator(20220901).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
    const QByteArrayList damaged{
        garbage,
        valid.left(valid.size() * 6 / 10),
        valid + "extra=@Variant(\\0\\0\\0\\x92\\x7f\\xff\\xff\\xf0)\n", // a count Qt would reserve memory for
        valid + "extra=@Variant(\\0\\0\\0\\x92\\0\\0\\0\\0\\x1)\n",     // bytes after the list
        valid + "extra=abc\n",
        QByteArray(valid).replace("@Variant(\\0", "@Variant(\\q"), // an escape the writer never makes
    };
    for (int i = 0; i < damaged.size(); ++i) {
        ScopedWorkDir workDir;
        QVERIFY(workDir.isValid() && writeFile(AccountStore::filePath(), damaged[i]));
        // An earlier copy is never overwritten.
        const QString copy = i % 2 ? QStringLiteral("login.ini.corrupt.1") : QStringLiteral("login.ini.corrupt");
        QVERIFY(i % 2 == 0 || writeFile(QStringLiteral("login.ini.corrupt"), "older"));

        QCOMPARE(all(AccountStore::load()), all(lists("")));
        QCOMPARE(readFile(AccountStore::filePath()), damaged[i]);
        AccountStore::save(lists("d|pd|t"));
        QCOMPARE(readFile(copy), damaged[i]);
        QCOMPARE(readFile(QStringLiteral("login.ini.corrupt")), i % 2 ? QByteArray("older") : damaged[i]);
        QCOMPARE(all(AccountStore::load()), all(lists("d|pd|t")));

        // Damaged again after this process wrote it: still set aside before the next write.
        const QStringList copies = QDir().entryList({QStringLiteral("login.ini.corrupt*")});
        QVERIFY(writeFile(AccountStore::filePath(), damaged[i]));
        AccountStore::save(lists("e|pe|t"));
        QCOMPARE(QDir().entryList({QStringLiteral("login.ini.corrupt*")}).size(), copies.size() + 1);
    }
}

QTEST_GUILESS_MAIN(TestAccountStore)
#include "tst_accountstore.moc"
