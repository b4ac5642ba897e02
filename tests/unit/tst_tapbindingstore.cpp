#include "store/tapbindingstore.h"
#include "support/workdir.h"

#include <QtTest>

namespace {

// Space-separated labels, each standing for one cipher text (binary, whole 16-byte blocks).
QByteArrayList blocks(const char *labels)
{
    QByteArrayList list;
    for (const QByteArray &label : QByteArray(labels).split(' ')) {
        if (label.isEmpty())
            continue;
        QByteArray bytes = label + QByteArray("\0\xff\x01", 3);
        bytes.append(QByteArray(16 - bytes.size() % 16, '\x7f'));
        list.append(bytes);
    }
    return list;
}

QByteArray block(const char *label)
{
    return blocks(label).first();
}

TapBindingStore::Lists lists(const char *names, const char *serials, const char *passwords)
{
    return TapBindingStore::Lists{blocks(names), blocks(serials), blocks(passwords)};
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
        const TapBindingStore::Lists a_ = (actual);                                                    \
        const TapBindingStore::Lists e_ = (expected);                                                  \
        QCOMPARE(a_.userNames, e_.userNames);                                                          \
        QCOMPARE(a_.tapSerials, e_.tapSerials);                                                        \
        QCOMPARE(a_.tapPasswords, e_.tapPasswords);                                                    \
    } while (false)

} // namespace

Q_DECLARE_METATYPE(TapBindingStore::Lists)

class TestTapBindingStore : public QObject {
    Q_OBJECT

private slots:
    void twoUsersBindOneAfterTheOther();
    void rebindingReplacesAndMovesToTheFront();
    void rebindingClearsDuplicateEntries();
    void removeUser_data();
    void removeUser();
    void storedUnderTheThreeKeys();
    void damagedFileReadsEmptyAndIsKept();
};

void TestTapBindingStore::twoUsersBindOneAfterTheOther()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());

    TapBindingStore::Lists first = TapBindingStore::load();
    TapBindingStore::saveBinding(first, block("alice"), block("TAP1"), block("pw1"));
    TapBindingStore::Lists second = TapBindingStore::load();
    TapBindingStore::saveBinding(second, block("bob"), block("TAP2"), block("pw2"));

    const TapBindingStore::Lists stored = TapBindingStore::load();
    COMPARE_LISTS(stored, lists("bob alice", "TAP2 TAP1", "pw2 pw1"));
    QCOMPARE(TapBindingStore::indicesOf(stored, block("alice")), QList<int>{1});
    QCOMPARE(TapBindingStore::indicesOf(stored, block("bob")), QList<int>{0});
    QVERIFY(TapBindingStore::indicesOf(stored, block("carol")).isEmpty());
}

void TestTapBindingStore::rebindingReplacesAndMovesToTheFront()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    TapBindingStore::Lists bindings = lists("c b a", "TC TB TA", "pc pb pa");

    TapBindingStore::saveBinding(bindings, block("b"), block("TB2"), block("pb2"));

    const TapBindingStore::Lists expected = lists("b c a", "TB2 TC TA", "pb2 pc pa");
    COMPARE_LISTS(bindings, expected);
    COMPARE_LISTS(TapBindingStore::load(), expected);
}

void TestTapBindingStore::rebindingClearsDuplicateEntries()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    // More than one entry per user only comes from a damaged or hand-edited file.
    TapBindingStore::Lists bindings = lists("a b a", "T1 TB T2", "p1 pb p2");

    TapBindingStore::saveBinding(bindings, block("a"), block("T3"), block("p3"));

    COMPARE_LISTS(bindings, lists("a b", "T3 TB", "p3 pb"));
}

void TestTapBindingStore::removeUser_data()
{
    QTest::addColumn<TapBindingStore::Lists>("stored");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<TapBindingStore::Lists>("expected");

    QTest::newRow("one of two") << lists("b a", "TB TA", "pb pa") << block("b") << lists("a", "TA", "pa");
    QTest::newRow("the only binding") << lists("a", "TA", "pa") << block("a") << lists("", "", "");
    QTest::newRow("unknown user") << lists("b a", "TB TA", "pb pa") << block("x") << lists("b a", "TB TA", "pb pa");
    QTest::newRow("every entry of the user") << lists("a b a c a", "T1 TB T2 TC T3", "p1 pb p2 pc p3") << block("a")
                                             << lists("b c", "TB TC", "pb pc");
    QTest::newRow("shorter lists lack the position") << lists("b c a", "TB", "pb pc") << block("a")
                                                     << lists("b c", "TB", "pb pc");
    QTest::newRow("positions beyond one shorter list") << lists("a b a", "T1", "") << block("a")
                                                       << lists("b", "", "");
}

void TestTapBindingStore::removeUser()
{
    QFETCH(TapBindingStore::Lists, stored);
    QFETCH(QByteArray, name);
    QFETCH(TapBindingStore::Lists, expected);

    TapBindingStore::removeUser(stored, name);
    COMPARE_LISTS(stored, expected);
}

void TestTapBindingStore::storedUnderTheThreeKeys()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    TapBindingStore::Lists bindings;
    TapBindingStore::saveBinding(bindings, block("a"), block("TA"), block("pa"));

    QSettings settings(workDir.filePath(QStringLiteral("TAPBOUND.ini")), QSettings::IniFormat);
    QCOMPARE(settings.childGroups(), QStringList{QStringLiteral("config")});
    settings.beginGroup(QStringLiteral("config"));
    QStringList keys = settings.childKeys();
    keys.sort();
    QCOMPARE(keys, (QStringList{QStringLiteral("boundtap"), QStringLiteral("tappswd"), QStringLiteral("username")}));
    QCOMPARE(settings.value(QStringLiteral("username")).value<QByteArrayList>(), blocks("a"));
    QCOMPARE(settings.value(QStringLiteral("boundtap")).value<QByteArrayList>(), blocks("TA"));
    QCOMPARE(settings.value(QStringLiteral("tappswd")).value<QByteArrayList>(), blocks("pa"));
}

void TestTapBindingStore::damagedFileReadsEmptyAndIsKept()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    TapBindingStore::save(lists("b a", "TB TA", "pb pa"), QStringLiteral("./valid.ini"));
    QByteArray damaged = readFile(QStringLiteral("valid.ini"));
    damaged.chop(damaged.size() / 3);
    QVERIFY(writeFile(QStringLiteral("TAPBOUND.ini"), damaged));

    TapBindingStore::Lists bindings = TapBindingStore::load();
    COMPARE_LISTS(bindings, lists("", "", ""));
    QCOMPARE(readFile(QStringLiteral("TAPBOUND.ini")), damaged);

    TapBindingStore::saveBinding(bindings, block("c"), block("TC"), block("pc"));

    QCOMPARE(readFile(QStringLiteral("TAPBOUND.ini.corrupt")), damaged);
    COMPARE_LISTS(TapBindingStore::load(), lists("c", "TC", "pc"));
}

QTEST_GUILESS_MAIN(TestTapBindingStore)
#include "tst_tapbindingstore.moc"
