#include "store/tapbindingstore.h"
#include "support/workdir.h"

#include <QtTest>

namespace {

// A stand-in for one cipher text: binary bytes told apart by their label.
QByteArray block(const QByteArray &label)
{
    return label + QByteArray("\0\xff\x01\r\n,=\"", 8);
}

// "names|serials|passwords", each a space-separated list of labels.
TapBindingStore::Lists lists(const char *layout)
{
    QList<QByteArrayList> parts{{}, {}, {}};
    for (int i = 0; i < 3; ++i)
        for (const QByteArray &label : QByteArray(layout).split('|').value(i).split(' '))
            parts[i] += label.isEmpty() ? QByteArrayList() : QByteArrayList{block(label)};
    return {parts[0], parts[1], parts[2]};
}

QList<QByteArrayList> all(const TapBindingStore::Lists &lists)
{
    return {lists.userNames, lists.tapSerials, lists.tapPasswords};
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestTapBindingStore : public QObject {
    Q_OBJECT

private slots:
    void bindingsOnADamagedFile();
    void unequalListsAndUnwritableFile();
    void removeUser();
};

void TestTapBindingStore::bindingsOnADamagedFile()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    TapBindingStore::save(lists("b a|TB TA|pb pa"), QStringLiteral("./valid.ini"));
    QVERIFY(QFile::copy(QStringLiteral("valid.ini"), TapBindingStore::filePath()));
    QVERIFY(QFile::resize(TapBindingStore::filePath(), QFileInfo(QStringLiteral("valid.ini")).size() - 40));
    const QByteArray damaged = readFile(TapBindingStore::filePath());

    // Two users, each from a fresh load as two sign-ins would. The damaged file reads as empty,
    // is left alone by reading and kept beside the new one.
    TapBindingStore::Lists stored = TapBindingStore::load();
    QCOMPARE(readFile(TapBindingStore::filePath()), damaged);
    TapBindingStore::saveBinding(stored, block("alice"), block("TA"), block("pa"));
    stored = TapBindingStore::load();
    TapBindingStore::saveBinding(stored, block("bob"), block("TB"), block("pb"));
    QCOMPARE(all(TapBindingStore::load()), all(lists("bob alice|TB TA|pb pa")));
    QCOMPARE(readFile(QStringLiteral("TAPBOUND.ini.corrupt")), damaged);
    const QSettings settings(TapBindingStore::filePath(), QSettings::IniFormat);
    QCOMPARE(settings.allKeys().join(u' '), QStringLiteral("config/boundtap config/tappswd config/username"));
    QCOMPARE(settings.value(QStringLiteral("config/boundtap")).value<QByteArrayList>(), lists("|TB TA").tapSerials);

    // Rebinding replaces every earlier entry of the user (more than one only comes from a damaged file).
    TapBindingStore::Lists bindings = lists("c a b a|TC T1 TB T2|pc p1 pb p2");
    QCOMPARE(TapBindingStore::indicesOf(bindings, block("a")), (QList<int>{1, 3}));
    TapBindingStore::saveBinding(bindings, block("a"), block("T3"), block("p3"));
    QCOMPARE(all(bindings), all(lists("a c b|T3 TC TB|p3 pc pb")));
}

void TestTapBindingStore::unequalListsAndUnwritableFile()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    // One serial short: a password could go to another user's TAP, so the file counts as damaged.
    {
        QSettings settings(TapBindingStore::filePath(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("config/username"), QVariant::fromValue(lists("a b").userNames));
        settings.setValue(QStringLiteral("config/boundtap"), QVariant::fromValue(lists("|TB").tapSerials));
        settings.setValue(QStringLiteral("config/tappswd"), QVariant::fromValue(lists("||pa pb").tapPasswords));
    }
    const QByteArray unequal = readFile(TapBindingStore::filePath());
    TapBindingStore::Lists stored = TapBindingStore::load();
    QCOMPARE(all(stored), all(lists("")));
    QVERIFY(TapBindingStore::saveBinding(stored, block("c"), block("TC"), block("pc")));
    QCOMPARE(readFile(QStringLiteral("TAPBOUND.ini.corrupt")), unequal);

    // A file that cannot be replaced: false, the old file stays, and this session keeps the binding.
    QVERIFY(QFile::remove(TapBindingStore::filePath()) && QDir().mkdir(TapBindingStore::filePath()));
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^设置文件保存失败：\\./TAPBOUND\\.ini，")));
    QVERIFY(!TapBindingStore::saveBinding(stored, block("d"), block("TD"), block("pd")));
    QCOMPARE(all(stored), all(lists("d c|TD TC|pd pc")));
    QVERIFY(QFileInfo(TapBindingStore::filePath()).isDir());
}

void TestTapBindingStore::removeUser()
{
    const char *const cases[][3] = {
        // stored, user, left
        {"a b a c a|T1 TB T2 TC T3|p1 pb p2 pc p3", "a", "b c|TB TC|pb pc"},
        {"a b a c|T1|p1 pb", "a", "b c||pb"}, // positions missing from shorter lists are skipped
    };
    for (const auto &c : cases) {
        TapBindingStore::Lists bindings = lists(c[0]);
        TapBindingStore::removeUser(bindings, block(c[1]));
        QVERIFY2(all(bindings) == all(lists(c[2])), c[0]);
    }
}

QTEST_GUILESS_MAIN(TestTapBindingStore)
#include "tst_tapbindingstore.moc"
