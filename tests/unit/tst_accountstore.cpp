#include "store/accountstore.h"
#include "store/settingslists.h"
#include "support/filefaults.h"
#include "support/storedfiles.h"
#include "support/workdir.h"

#include <QDir>
#include <QRandomGenerator>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <numeric>
#include <sys/stat.h>

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

// The file QSettings itself writes for the lists.
QByteArray qsettingsText(const AccountStore::Lists &lists)
{
    QTemporaryDir dir;
    {
        QSettings settings(dir.filePath(QStringLiteral("login.ini")), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("config"));
        settings.setValue(QStringLiteral("username"), QVariant::fromValue(lists.userNames));
        settings.setValue(QStringLiteral("password"), QVariant::fromValue(lists.passwords));
        settings.setValue(QStringLiteral("isrembered"), QVariant::fromValue(lists.flags));
    }
    return readFile(dir.filePath(QStringLiteral("login.ini")));
}

enum Fault { LockIsDirectory, FileIsDirectory, ImmutableFile, ReadOnlyMount, FullDisk };

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
            {"n1 n2 n3 n4 n5 n6 n7|p1 p2 p3 p4 p5 p6 p7|f1 f2 f3 f4 f5 f6 f7", "+n8 p8 f8", Eight}, // an eighth is
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

    // The file is the one QSettings writes for the same lists (as earlier versions wrote it), owner-only
    // also over an older file with wider rights, and it reads back as it was, also with Windows line ends.
    void format()
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
                                         {QByteArray("a,b;c=d \"e\" \\", 13), QByteArray(32, char(0xff)), {}},
                                         {QByteArray(16, ')'), QByteArray(), everyByte + everyByte}};
        QVERIFY(writeFile(AccountStore::filePath(), qsettingsText(lists("a|pa|t"))));
        QVERIFY(QFile::setPermissions(AccountStore::filePath(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
        QVERIFY(AccountStore::save(stored));
        QCOMPARE(readFile(AccountStore::filePath()), qsettingsText(stored));
        QCOMPARE(storedfile::mode(AccountStore::filePath()), QStringLiteral("0600"));
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList(QStringLiteral("login.ini"))); // no temporary file, lock or copy left
        QCOMPARE(all(AccountStore::load()), all(stored));
        QVERIFY(writeFile(AccountStore::filePath(), qsettingsText(stored).replace("\n", "\r\n")));
        QCOMPARE(all(AccountStore::load()), all(stored));
        // Saves of the same size right after one another: QSettings, which caches a file by its size
        // and time, still reads each one.
        for (const char *layout : {"a|pa|t", "b|pb|f", "a|pa|t", "b|pb|f"}) {
            QVERIFY(AccountStore::save(lists(layout)));
            QCOMPARE(all(AccountStore::load()), all(lists(layout)));
        }
    }

    void damage_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("reads");
        QTest::addColumn<bool>("damaged");
        const QByteArray valid = qsettingsText(lists("a b|pa pb|t f"));
        QByteArray garbage(4096, '\0');
        QRandomGenerator(20220901).fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
        const auto damaged = [](const char *name, const QByteArray &content) {
            QTest::newRow(name) << content << QByteArray() << true;
        };
        damaged("garbage", garbage);
        damaged("cut", valid.left(valid.size() * 6 / 10));
        damaged("count Qt would reserve memory for", valid + "extra=@Variant(\\0\\0\\0\\x92\\x7f\\xff\\xff\\xf0)\n");
        damaged("bytes after a list", valid + "extra=@Variant(\\0\\0\\0\\x92\\0\\0\\0\\0\\x1)\n");
        damaged("escape the writer never makes", QByteArray(valid).replace("@Variant(\\0", "@Variant(\\q"));
        // Lines QSettings splits or joins otherwise than they look, so that it reads other lists.
        damaged("key ending in a backslash", QByteArray(valid).replace("isrembered=", "isrembere\\="));
        damaged("carriage return before =", QByteArray(valid).replace("isrembered=", "isrembered\r="));
        damaged("section name QSettings trims", QByteArray(valid).replace("[config]", "[ config ]"));
        // A password must never be paired with another account.
        damaged("lists of unequal length", qsettingsText(lists("a b c|pb pc|t f t")));
        damaged("larger than any of ours", qsettingsText(lists(QByteArray("x ").repeated(1500) + "|" +
                                                               QByteArray("y ").repeated(1500) + "|" +
                                                               QByteArray("z ").repeated(1500))));

        // What QSettings reads as it looks: a list it cannot read is empty, the others keep their entries.
        const auto readable = [](const char *name, const QByteArray &content, const char *reads) {
            QTest::newRow(name) << content << QByteArray(reads) << false;
        };
        readable("comments", "; remembered accounts\n# of this PC\n" + valid, "a b|pa pb|t f");
        readable("unknown keys and sections",
                 valid + "lastUser=alice\nextra=@Variant(\\0\\0\\0\\x92\\0\\0\\0\\0)\n[window]\nsize=@Size(800 600)\n",
                 "a b|pa pb|t f");
        readable("password of another type", QByteArray(valid).replace("password=", "password=plain\nx="),
                 "a b|- -|t f");
        readable("names of another type", QByteArray(valid).replace("username=", "username=a, b\nx="), "");
        readable("twelve accounts", qsettingsText(lists(QByteArray("n1 n2 n3 n4 n5 n6 n7 n8 n9 n10 n11 n12|") +
                                                        "p1 p2 p3 p4 p5 p6 p7 p8 p9 p10 p11 p12|" +
                                                        "f1 f2 f3 f4 f5 f6 f7 f8 f9 f10 f11 f12")),
                 "n1 n2 n3 n4 n5 n6 n7 n8|p1 p2 p3 p4 p5 p6 p7 p8|f1 f2 f3 f4 f5 f6 f7 f8");
    }

    // Reading leaves the file alone; the next save keeps a damaged file's copy (never over an older
    // copy), and replaces a readable one without.
    void damage()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, reads);
        QFETCH(bool, damaged);
        ScopedWorkDir workDir;
        QVERIFY(workDir.isValid() && writeFile(AccountStore::filePath(), content) &&
                writeFile(QStringLiteral("login.ini.corrupt"), "older"));
        QCOMPARE(all(AccountStore::load()), all(lists(reads)));
        QCOMPARE(readFile(AccountStore::filePath()), content);
        QVERIFY(AccountStore::save(lists("d|pd|t")));
        QCOMPARE(readFile(QStringLiteral("login.ini.corrupt")), QByteArray("older"));
        QCOMPARE(readFile(QStringLiteral("login.ini.corrupt.1")), damaged ? content : QByteArray());
        QVERIFY(!damaged || storedfile::mode(QStringLiteral("login.ini.corrupt.1")) == QLatin1String("0600"));
        QCOMPARE(all(AccountStore::load()), all(lists("d|pd|t")));
    }

    void unwritable_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("stale lock that cannot be removed") << int(LockIsDirectory);
        QTest::newRow("file is a directory") << int(FileIsDirectory);
        QTest::newRow("immutable file") << int(ImmutableFile);
        QTest::newRow("read-only mount") << int(ReadOnlyMount);
        QTest::newRow("one free block") << int(FullDisk);
    }

    // A save that cannot be done fails within the lock wait, says why in the log and leaves the old
    // file and nothing else behind; reading goes on without the lock.
    void unwritable()
    {
        QFETCH(int, fault);
        ScopedWorkDir workDir;
        const AccountStore::Lists three = lists("a b c|pa pb pc|t f t");
        QVERIFY(workDir.isValid() && AccountStore::save(three));
        std::unique_ptr<filefaults::SmallDisk> disk;
        std::unique_ptr<filefaults::Immutable> immutable;
        if (fault == LockIsDirectory) {
            // A day old: QLockFile takes it for stale and tries to remove it, in vain.
            const timespec dayOld[2] = {{::time(nullptr) - 86400, 0}, {::time(nullptr) - 86400, 0}};
            QVERIFY(QDir().mkdir(QStringLiteral("login.ini.lock")) &&
                    ::utimensat(AT_FDCWD, "login.ini.lock", dayOld, 0) == 0);
        } else if (fault == FileIsDirectory) {
            QVERIFY(QFile::remove(AccountStore::filePath()) && QDir().mkdir(AccountStore::filePath()));
        } else if (fault == ImmutableFile) {
            immutable = std::make_unique<filefaults::Immutable>(AccountStore::filePath());
            if (!immutable->isSet())
                QSKIP("needs root and a file system with the immutable attribute");
        } else {
            disk = std::make_unique<filefaults::SmallDisk>(QStringList(AccountStore::filePath()));
            if (!disk->isReady())
                QSKIP("needs root to mount a tmpfs");
            QVERIFY(fault == FullDisk ? disk->fill(1) : disk->setReadOnly(true));
        }
        const QByteArray before = readFile(AccountStore::filePath());
        const QStringList entries = QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^设置文件保存失败：\\./login\\.ini，")));
        QElapsedTimer clock;
        clock.start();
        QVERIFY(!AccountStore::save(lists("d|pd|t")));
        QVERIFY(clock.elapsed() < SettingsLists::LockWaitMs + 1000);
        QCOMPARE(readFile(AccountStore::filePath()), before);
        QCOMPARE(QDir().entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), entries);
        QCOMPARE(all(AccountStore::load()), all(fault == FileIsDirectory ? lists("") : three));
        if (disk) { // the same save goes through once there is room
            disk->makeRoom();
            QVERIFY(disk->setReadOnly(false) && AccountStore::save(lists("d|pd|t")));
            QCOMPARE(all(AccountStore::load()), all(lists("d|pd|t")));
        }
    }
};

QTEST_GUILESS_MAIN(TestAccountStore)
#include "tst_accountstore.moc"
