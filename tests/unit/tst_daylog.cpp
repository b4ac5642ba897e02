#include "app/logmessagehandler.h"
#include "support/workdir.h"

#include <QtTest>

#include <QThread>

#include <memory>

namespace {

const QByteArray Terminator("\r\n \r\n");

QDateTime at(int year, int month, int day, int hour, int minute, int second)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every day file under <dir>/LogFile, oldest first, concatenated.
QByteArray allDayLogs(const QString &dir)
{
    QByteArray content;
    const QDir logDir(dir + QStringLiteral("/LogFile"));
    for (const QString &name : logDir.entryList(QDir::Files, QDir::Name))
        content += readFile(logDir.filePath(name));
    return content;
}

// The entries of a log text; false when the text does not end with a terminator.
bool splitEntries(const QByteArray &content, QList<QByteArray> &entries)
{
    entries.clear();
    if (content.isEmpty())
        return true;
    if (!content.endsWith(Terminator))
        return false;
    int from = 0;
    while (from < content.size()) {
        const int end = content.indexOf(Terminator, from);
        entries.append(content.mid(from, end - from));
        from = end + Terminator.size();
    }
    return true;
}

bool systemDayNamesAreEnglish()
{
    return QLocale::system().dayName(4, QLocale::ShortFormat) == QLatin1String("Thu");
}

class HandlerInstalled {
public:
    HandlerInstalled() : previous(qInstallMessageHandler(dayLogMessageHandler)) {}
    ~HandlerInstalled() { qInstallMessageHandler(previous); }
    HandlerInstalled(const HandlerInstalled &) = delete;
    HandlerInstalled &operator=(const HandlerInstalled &) = delete;

private:
    QtMessageHandler previous;
};

} // namespace

class TestDayLog : public QObject {
    Q_OBJECT

private slots:
    void formatLogEntry_data();
    void formatLogEntry();
    void appendsEntriesToTheDayFile();
    void rollsOverAtMidnight();
    void recreatesDeletedLogDirectory();
    void followsTheWorkingDirectory();
    void lostWhenTheDirectoryCannotBeMade();
    void handlerWritesEveryLevel();
    void concurrentThreadsWriteWholeEntries();
};

void TestDayLog::formatLogEntry_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");

    QTest::newRow("debug") << int(QtDebugMsg) << QStringLiteral("abc")
                           << QStringLiteral("(2022-09-01 14:05:09 Thu) Debug: abc");
    QTest::newRow("warning") << int(QtWarningMsg) << QStringLiteral("w")
                             << QStringLiteral("(2022-09-01 14:05:09 Thu) Warning: w");
    QTest::newRow("critical") << int(QtCriticalMsg) << QStringLiteral("c")
                              << QStringLiteral("(2022-09-01 14:05:09 Thu) Critical: c");
    QTest::newRow("fatal") << int(QtFatalMsg) << QStringLiteral("f")
                           << QStringLiteral("(2022-09-01 14:05:09 Thu) Fatal: f");
    QTest::newRow("info: two blanks") << int(QtInfoMsg) << QStringLiteral("i")
                                      << QStringLiteral("(2022-09-01 14:05:09 Thu)  i");
    QTest::newRow("placeholders stay literal") << int(QtDebugMsg) << QStringLiteral("%1 %2 %4 %3")
                                               << QStringLiteral("(2022-09-01 14:05:09 Thu) Debug: %1 %2 %4 %3");
    QTest::newRow("empty message") << int(QtWarningMsg) << QString()
                                   << QStringLiteral("(2022-09-01 14:05:09 Thu) Warning: ");
    QTest::newRow("chinese, multi-line") << int(QtDebugMsg) << QStringLiteral("删除\n过期")
                                         << QStringLiteral("(2022-09-01 14:05:09 Thu) Debug: 删除\n过期");
}

void TestDayLog::formatLogEntry()
{
    if (!systemDayNamesAreEnglish())
        QSKIP("the system locale does not use English day names (run with LC_ALL=C)");
    QFETCH(int, type);
    QFETCH(QString, message);
    QFETCH(QString, expected);
    QCOMPARE(::formatLogEntry(QtMsgType(type), message, at(2022, 9, 1, 14, 5, 9)), expected);
}

void TestDayLog::appendsEntriesToTheDayFile()
{
    if (!systemDayNamesAreEnglish())
        QSKIP("the system locale does not use English day names (run with LC_ALL=C)");
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());

    appendDayLogEntry(QtDebugMsg, QStringLiteral("abc"), at(2022, 9, 1, 14, 5, 9));
    appendDayLogEntry(QtInfoMsg, QStringLiteral("next"), at(2022, 9, 1, 14, 5, 10));

    QCOMPARE(readFile(workDir.filePath(QStringLiteral("LogFile/20220901.txt"))),
             QByteArray("(2022-09-01 14:05:09 Thu) Debug: abc\r\n \r\n"
                        "(2022-09-01 14:05:10 Thu)  next\r\n \r\n"));
    QCOMPARE(QDir(workDir.filePath(QStringLiteral("LogFile"))).entryList(QDir::Files),
             QStringList{QStringLiteral("20220901.txt")});
}

void TestDayLog::rollsOverAtMidnight()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());

    appendDayLogEntry(QtDebugMsg, QStringLiteral("before"), at(2022, 9, 1, 23, 59, 59));
    appendDayLogEntry(QtDebugMsg, QStringLiteral("after"), at(2022, 9, 2, 0, 0, 0));

    QList<QByteArray> entries;
    QVERIFY(splitEntries(readFile(workDir.filePath(QStringLiteral("LogFile/20220901.txt"))), entries));
    QCOMPARE(entries.size(), 1);
    QVERIFY(entries.first().endsWith(" before"));
    QVERIFY(entries.first().startsWith("(2022-09-01 23:59:59 "));
    QVERIFY(splitEntries(readFile(workDir.filePath(QStringLiteral("LogFile/20220902.txt"))), entries));
    QCOMPARE(entries.size(), 1);
    QVERIFY(entries.first().endsWith(" after"));
    QVERIFY(entries.first().startsWith("(2022-09-02 00:00:00 "));
}

void TestDayLog::recreatesDeletedLogDirectory()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    const QDateTime now = at(2022, 9, 1, 10, 0, 0);

    appendDayLogEntry(QtDebugMsg, QStringLiteral("first"), now);
    QVERIFY(QDir(workDir.filePath(QStringLiteral("LogFile"))).removeRecursively());
    appendDayLogEntry(QtDebugMsg, QStringLiteral("second"), now);

    QList<QByteArray> entries;
    QVERIFY(splitEntries(readFile(workDir.filePath(QStringLiteral("LogFile/20220901.txt"))), entries));
    QCOMPARE(entries.size(), 1);
    QVERIFY(entries.first().endsWith(" second"));
}

void TestDayLog::followsTheWorkingDirectory()
{
    ScopedWorkDir first;
    QVERIFY(first.isValid());
    const QDateTime now = at(2022, 9, 1, 10, 0, 0);
    appendDayLogEntry(QtDebugMsg, QStringLiteral("in first"), now);
    {
        ScopedWorkDir second;
        QVERIFY(second.isValid());
        appendDayLogEntry(QtDebugMsg, QStringLiteral("in second"), now);
        QList<QByteArray> entries;
        QVERIFY(splitEntries(allDayLogs(second.path()), entries));
        QCOMPARE(entries.size(), 1);
        QVERIFY(entries.first().endsWith(" in second"));
    }
    QList<QByteArray> entries;
    QVERIFY(splitEntries(allDayLogs(first.path()), entries));
    QCOMPARE(entries.size(), 1);
    QVERIFY(entries.first().endsWith(" in first"));
}

void TestDayLog::lostWhenTheDirectoryCannotBeMade()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    // A plain file where the folder should be: the message is dropped, nothing is replaced.
    QFile blocker(workDir.filePath(QStringLiteral("LogFile")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.write("keep");
    blocker.close();

    appendDayLogEntry(QtDebugMsg, QStringLiteral("lost"), at(2022, 9, 1, 10, 0, 0));

    QVERIFY(QFileInfo(blocker.fileName()).isFile());
    QCOMPARE(readFile(blocker.fileName()), QByteArray("keep"));
}

void TestDayLog::handlerWritesEveryLevel()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    {
        HandlerInstalled installed;
        qDebug("d1");
        qInfo("i1");
        qWarning("w1");
        qCritical("c1");
        // A fatal message is written like any other; the handler itself does not end the process.
        dayLogMessageHandler(QtFatalMsg, QMessageLogContext(), QStringLiteral("f1"));
    }

    QList<QByteArray> entries;
    QVERIFY(splitEntries(allDayLogs(workDir.path()), entries));
    QCOMPARE(entries.size(), 5);
    const QList<QByteArray> tails{") Debug: d1", ")  i1", ") Warning: w1", ") Critical: c1", ") Fatal: f1"};
    const QRegularExpression stamp(QStringLiteral("^\\(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} [^ )]+\\)"));
    for (int i = 0; i < entries.size(); ++i) {
        QVERIFY2(entries.at(i).endsWith(tails.at(i)), entries.at(i).constData());
        QVERIFY2(stamp.match(QString::fromUtf8(entries.at(i))).hasMatch(), entries.at(i).constData());
    }
}

void TestDayLog::concurrentThreadsWriteWholeEntries()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    constexpr int Threads = 2;
    constexpr int MessagesPerThread = 200;
    // Larger than the stream and file buffers, so one entry takes several writes to the file and
    // only the lock keeps the entries of the two threads apart.
    constexpr int PaddingSize = 40000;
    {
        HandlerInstalled installed;
        std::vector<std::unique_ptr<QThread>> threads;
        for (int t = 0; t < Threads; ++t) {
            threads.emplace_back(QThread::create([t] {
                const QString padding(PaddingSize, QLatin1Char(char('a' + t)));
                for (int i = 0; i < MessagesPerThread; ++i)
                    qDebug().noquote() << QStringLiteral("t%1-%2-").arg(t).arg(i) + padding;
            }));
        }
        for (auto &thread : threads)
            thread->start();
        for (auto &thread : threads)
            QVERIFY(thread->wait(120000));
    }

    QList<QByteArray> entries;
    QVERIFY(splitEntries(allDayLogs(workDir.path()), entries));
    QCOMPARE(entries.size(), Threads * MessagesPerThread);
    const QRegularExpression head(
        QStringLiteral("^\\(\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2} [^ )]+\\) Debug: t(\\d)-(\\d+)-$"));
    QVector<int> lastIndex(Threads, -1);
    for (const QByteArray &entry : entries) {
        const QByteArray prefix = entry.left(entry.size() - PaddingSize);
        const QRegularExpressionMatch match = head.match(QString::fromUtf8(prefix));
        QVERIFY2(match.hasMatch(), prefix.left(120).constData());
        const int t = match.captured(1).toInt();
        const int i = match.captured(2).toInt();
        QCOMPARE(entry.mid(prefix.size()), QByteArray(PaddingSize, char('a' + t)));
        // Each thread's messages arrive whole, once each and in their order.
        QCOMPARE(i, lastIndex[t] + 1);
        lastIndex[t] = i;
    }
}

QTEST_GUILESS_MAIN(TestDayLog)
#include "tst_daylog.moc"
