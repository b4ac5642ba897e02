#include "app/daylogcleaner.h"

#include <QtTest>

namespace {

// Collects the messages emitted while it lives instead of printing them.
class MessageCollector {
public:
    MessageCollector()
    {
        collected().clear();
        previous = qInstallMessageHandler(&MessageCollector::collect);
    }
    ~MessageCollector() { qInstallMessageHandler(previous); }
    MessageCollector(const MessageCollector &) = delete;
    MessageCollector &operator=(const MessageCollector &) = delete;

    QStringList debugMessages() const { return collected(); }

private:
    static QStringList &collected()
    {
        static QStringList messages;
        return messages;
    }
    static void collect(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        collected().append(type == QtDebugMsg ? message : QStringLiteral("[not debug] ") + message);
    }

    QtMessageHandler previous;
};

QStringList days(int first, int count)
{
    QStringList names;
    for (int day = first; day < first + count; ++day)
        names.append(QString::number(day) + QStringLiteral(".txt"));
    return names;
}

QString deleted(int day)
{
    return QStringLiteral("删除过期日志") + QString::number(day) + QStringLiteral(".txt成功");
}

const QString NotGreater = QStringLiteral("dairyfile not greater than 7");

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Everything under dir, relative, sorted; directories end with '/'.
QStringList tree(const QString &dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QString relative = QDir(dir).relativeFilePath(it.filePath());
        entries.append(it.fileInfo().isDir() ? relative + QLatin1Char('/') : relative);
    }
    entries.sort();
    return entries;
}

} // namespace

class TestDayLogCleaner : public QObject {
    Q_OBJECT

private slots:
    void listsOnlyVisibleDayLogFiles();
    void prune_data();
    void prune();
    void missingDirectoryIsLeftMissing();
};

void TestDayLogCleaner::listsOnlyVisibleDayLogFiles()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    for (const QString &name : {QStringLiteral("20220901.txt"), QStringLiteral("20220902.old.txt"),
                                QStringLiteral("settings.ini"), QStringLiteral("20220903.log"),
                                QStringLiteral(".20220904.txt"), QStringLiteral("notes")})
        QVERIFY(writeFile(dir.filePath(name), "x"));
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("20220905.txt")));

    QStringList names = DayLogCleaner().listDayLogNames(dir.path() + QLatin1Char('/'));
    names.sort();
    QCOMPARE(names, (QStringList{QStringLiteral("20220901"), QStringLiteral("20220902"), QStringLiteral("settings")}));
}

void TestDayLogCleaner::prune_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("directories");   // each created with a file inside
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("eight days: the first goes")
        << days(20220901, 8) << QStringList() << QStringList{QStringLiteral("20220901.txt")}
        << QStringList{deleted(20220901)};
    QTest::newRow("seven days: all stay") << days(20220901, 7) << QStringList() << QStringList()
                                          << QStringList{NotGreater};
    QTest::newRow("ten recent days: by count, not age")
        << days(20220901, 10) << QStringList() << days(20220901, 3)
        << QStringList{deleted(20220901), deleted(20220902), deleted(20220903)};
    QTest::newRow("settings.ini counts as day 0 and stays")
        << days(20220901, 8) + QStringList{QStringLiteral("settings.ini")} << QStringList()
        << QStringList{QStringLiteral("20220901.txt")} << QStringList{deleted(20220901)};
    QTest::newRow("an .ini day number deletes the .txt of that day")
        << days(20220902, 7) + QStringList{QStringLiteral("20220901.ini"), QStringLiteral("20220901.txt")}
        << QStringList() << QStringList{QStringLiteral("20220901.txt")} << QStringList{deleted(20220901)};
    QTest::newRow("two dots: the plain day file goes, not the candidate")
        << days(20220901, 7) + QStringList{QStringLiteral("20220901.old.txt")} << QStringList()
        << QStringList{QStringLiteral("20220901.txt")} << QStringList{deleted(20220901)};
    QTest::newRow("two dots without a plain day file: nothing goes")
        << days(20220901, 7) + QStringList{QStringLiteral("20220831.old.txt")} << QStringList()
        << QStringList() << QStringList();
    QTest::newRow("a directory named like a day file is never removed")
        << days(20220902, 7) + QStringList{QStringLiteral("20220901.old.txt")}
        << QStringList{QStringLiteral("20220901.txt")} << QStringList() << QStringList();
    QTest::newRow("a directory is not a candidate")
        << days(20220902, 7) << QStringList{QStringLiteral("20220901.txt")} << QStringList()
        << QStringList{NotGreater};
    QTest::newRow("hidden and other files are not candidates")
        << days(20220902, 7) + QStringList{QStringLiteral(".20220801.txt"), QStringLiteral("20220801.log")}
        << QStringList() << QStringList() << QStringList{NotGreater};
}

void TestDayLogCleaner::prune()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, directories);
    QFETCH(QStringList, removed);
    QFETCH(QStringList, messages);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString logDir = root.filePath(QStringLiteral("LogFile"));
    QVERIFY(QDir().mkdir(logDir));
    for (const QString &name : files)
        QVERIFY(writeFile(logDir + QLatin1Char('/') + name, name.toUtf8()));
    for (const QString &name : directories) {
        QVERIFY(QDir(logDir).mkdir(name));
        QVERIFY(writeFile(logDir + QLatin1Char('/') + name + QStringLiteral("/inside.txt"), "keep"));
    }
    QStringList expected = tree(logDir);
    for (const QString &name : removed)
        QVERIFY(expected.removeOne(name));

    MessageCollector collector;
    DayLogCleaner().pruneDayLogs(logDir + QLatin1Char('/'));

    QCOMPARE(tree(logDir), expected);
    QCOMPARE(collector.debugMessages(), messages);
}

void TestDayLogCleaner::missingDirectoryIsLeftMissing()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString logDir = root.filePath(QStringLiteral("LogFile/"));

    MessageCollector collector;
    DayLogCleaner().pruneDayLogs(logDir);

    QCOMPARE(collector.debugMessages(), QStringList{NotGreater});
    QVERIFY(!QFileInfo::exists(logDir));
}

QTEST_GUILESS_MAIN(TestDayLogCleaner)
#include "tst_daylogcleaner.moc"
