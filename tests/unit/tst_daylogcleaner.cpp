#include "app/daylogcleaner.h"

#include <QtTest>

namespace {

// The messages of one prune run.
QStringList prune(const QString &logDir)
{
    static QStringList collected;
    collected.clear();
    const auto previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &m) {
        collected.append(type == QtDebugMsg ? m : QStringLiteral("[not debug] ") + m);
    });
    DayLogCleaner().pruneDayLogs(logDir);
    qInstallMessageHandler(previous);
    return collected;
}

// Day files from `first` on, after the space-separated extra names.
QStringList days(int first, int count, const char *extra = "")
{
    QStringList names = QString::fromUtf8(extra).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (int day = first; day < first + count; ++day)
        names.append(QString::number(day) + QStringLiteral(".txt"));
    return names;
}

const QString NotGreater = QStringLiteral("dairyfile not greater than 7");

QStringList entries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class TestDayLogCleaner : public QObject {
    Q_OBJECT

private slots:
    void prune_data();
    void prune();
    void missingDirectoryIsLeftMissing();
};

void TestDayLogCleaner::prune_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QStringList>("removed");
    QTest::addColumn<QStringList>("messages");
    // `expired`: how many day files from 20220901 on go; `few`: the "not greater" message instead.
    const auto row = [](const char *name, const QStringList &files, const char *directory, int expired, bool few) {
        QStringList messages = few ? QStringList{NotGreater} : QStringList();
        for (int day = 20220901; day < 20220901 + expired; ++day)
            messages.append(QStringLiteral("删除过期日志%1.txt成功").arg(day));
        QTest::newRow(name) << files << QString::fromUtf8(directory) << days(20220901, expired) << messages;
    };
    row("eight days: the first goes", days(20220901, 8), "", 1, false);
    row("seven days: all stay", days(20220901, 7), "", 0, true);
    row("ten recent days: by count, not age", days(20220901, 10), "", 3, false);
    row("settings.ini is day 0 and stays", days(20220901, 8, "settings.ini"), "", 1, false);
    row("two dots: the plain day file goes", days(20220901, 7, "20220901.old.txt"), "", 1, false);
    row("two dots, no plain day file", days(20220901, 7, "20220831.old.txt"), "", 0, false);
    row("a directory named like a day file stays", days(20220902, 7, "20220901.old.txt"), "20220901.txt", 0, false);
    row("a directory is not a candidate", days(20220902, 7), "20220901.txt", 0, true);
    row("hidden and other files are not candidates", days(20220902, 7, ".20220801.txt 20220801.log"), "", 0, true);
}

void TestDayLogCleaner::prune()
{
    QFETCH(QStringList, files);
    QFETCH(QString, directory);
    QFETCH(QStringList, removed);

    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString logDir = root.filePath(QStringLiteral("LogFile/"));
    QVERIFY(QDir().mkdir(logDir));
    for (const QString &name : files)
        QVERIFY(QFile(logDir + name).open(QIODevice::WriteOnly));
    if (!directory.isEmpty())
        QVERIFY(QDir(logDir).mkdir(directory));
    QStringList expected = entries(logDir);
    for (const QString &name : removed)
        QVERIFY(expected.removeOne(name));

    QTEST(::prune(logDir), "messages");
    QCOMPARE(entries(logDir), expected);
}

void TestDayLogCleaner::missingDirectoryIsLeftMissing()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString logDir = root.filePath(QStringLiteral("LogFile/"));
    QCOMPARE(::prune(logDir), QStringList{NotGreater});
    QVERIFY(!QFileInfo::exists(logDir));
}

QTEST_GUILESS_MAIN(TestDayLogCleaner)
#include "tst_daylogcleaner.moc"
