#include "store/accountstore.h"
#include "support/workdir.h"

#include <QDir>
#include <QRandomGenerator>
#include <QtTest>

#include <numeric>

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
    void update()
    {
        // stored, action ("+name password flag" records a login, "-name position" removes), expected
        const std::tuple<QByteArray, const char *, QByteArray> cases[] = {
            {"a b c|pa pb pc|t f t", "+d pd f", "a b c d|pa pb pc pd|t f t f"},
            {"a b c|pa pb pc|t f t", "+a pa2 f", "b c a|pb pc pa2|f t f"}, // to the tail, new password and flag
            {Eight, "+n9 p9 f9", Eight},                                  // a ninth is not added
            {Eight, "+n1 new f1", "n2 n3 n4 n5 n6 n7 n8 n1|p2 p3 p4 p5 p6 p7 p8 new|f2 f3 f4 f5 f6 f7 f8 f1"},
            {"n1 n2 n3 n4 n5 n6 n7 n8|p1 p2|", "+n9 p9 t", "n1 n2 n3 n4 n5 n6 n7 n8|p1 p2 p9|t"}, // limit per list
            {"a|pa|t", "+- p t", "a|pa|t"},                 // an empty name is never recorded
            {"||", "+a pa -", "a|pa|-"},                     // an empty flag is
            {"a b c|pa|", "+c pc t", "a b c|pa pc|t"},       // at a position shorter lists lack
            {"a a b|p1 p2 pb|t t t", "+a p3 f", "a b a|p2 pb p3|t t f"}, // of duplicate names the first moves
            {"a b c|pa pb pc|t f t", "-b 1", "a c|pa pc|t t"},
            {"a b|pa pb|t f", "-x -1", "a b|pa pb|t f"},
            {"a b c|pa|", "-c 2", "a b|pa|"},
            {"a b a|p1 pb p2|t t f", "-a 0", "b a|pb p2|t f"},
        };
        for (const auto &[stored, action, expected] : cases) {
            AccountStore::Lists accounts = lists(stored);
            const QByteArrayList words = QByteArray(action).mid(1).split(' ');
            if (action[0] == '+')
                AccountStore::recordAccount(accounts, block(words[0]), block(words[1]), block(words[2]));
            else
                QCOMPARE(AccountStore::removeAccount(accounts, block(words[0])), words[1].toInt());
            QVERIFY2(all(accounts) == all(lists(expected)), (stored + " " + action).constData());
        }
    }

    void roundTripAndDamagedFiles()
    {
        ScopedWorkDir workDir;
        QVERIFY(workDir.isValid());
        QCOMPARE(all(AccountStore::load()), all(lists("")));
        QVERIFY(!QFileInfo::exists(AccountStore::filePath()));
        QByteArray everyByte(256, '\0');
        std::iota(everyByte.begin(), everyByte.end(), '\0');
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
        const QByteArray valid = readFile(AccountStore::filePath());
        QVERIFY(valid.startsWith("[config]\n"));
        QCOMPARE(valid.count("=@Variant(") + valid.count("=\"@Variant("), 3);
        // A file edited on Windows reads the same; emptied lists are written, not left as they were.
        QVERIFY(writeFile(AccountStore::filePath(), QByteArray(valid).replace("\n", "\r\n")));
        QCOMPARE(all(AccountStore::load()), all(stored));
        AccountStore::save(lists(""));
        QCOMPARE(all(AccountStore::load()), all(lists("")));
        QVERIFY(!QFileInfo::exists(QStringLiteral("login.ini.corrupt")));

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
            ScopedWorkDir inner;
            QVERIFY(inner.isValid() && writeFile(AccountStore::filePath(), damaged[i]));
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
};

QTEST_GUILESS_MAIN(TestAccountStore)
#include "tst_accountstore.moc"
