#include "app/logmessagehandler.h"
#include "platform/owneronly.h"
#include "support/workdir.h"

#include <QtTest>

#include <QThread>

#include <memory>

#include <sys/stat.h>

namespace {

QDateTime at(int day, int hour, int minute, int second)
{
    return QDateTime(QDate(2022, 9, day), QTime(hour, minute, second));
}

int modeOf(const QString &path)
{
    struct stat status {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The entries of every day file under <dir>/LogFile without their time stamps, oldest first; as
// each entry ends with the terminator, the last element is empty.
QStringList entries(const QString &dir)
{
    QByteArray content;
    const QDir logDir(dir + QStringLiteral("/LogFile"));
    for (const QString &name : logDir.entryList(QDir::Files, QDir::Name))
        content += readFile(logDir.filePath(name));
    QStringList list = QString::fromUtf8(content).split(QStringLiteral("\r\n \r\n"));
    for (QString &entry : list)
        entry = entry.section(QLatin1String(") "), 1);
    return list;
}

} // namespace

class TestDayLog : public QObject {
    Q_OBJECT

private slots:
    void entriesInDayFiles();
    void logDirectoryFollowsTheWorkingDirectory();
    void concurrentThreadsWriteWholeEntries();
    void onlyTheOwnerReads();
};

void TestDayLog::entriesInDayFiles()
{
    if (QLocale::system().dayName(4, QLocale::ShortFormat) != QLatin1String("Thu"))
        QSKIP("the system locale does not use English day names (run with LC_ALL=C)");
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    appendDayLogEntry(QtDebugMsg, QStringLiteral("abc"), at(1, 14, 5, 9));
    appendDayLogEntry(QtInfoMsg, QStringLiteral("i"), at(1, 14, 5, 10));
    appendDayLogEntry(QtWarningMsg, QStringLiteral("%1 %2 %4 %3"), at(1, 14, 5, 11));
    appendDayLogEntry(QtCriticalMsg, QStringLiteral("删除\n过期"), at(1, 14, 5, 12));
    appendDayLogEntry(QtFatalMsg, QString(), at(1, 23, 59, 59));
    appendDayLogEntry(QtDebugMsg, QStringLiteral("after"), at(2, 0, 0, 0));

    QCOMPARE(QDir(workDir.filePath(QStringLiteral("LogFile"))).entryList(QDir::Files),
             (QStringList{QStringLiteral("20220901.txt"), QStringLiteral("20220902.txt")}));
    QCOMPARE(readFile(workDir.filePath(QStringLiteral("LogFile/20220901.txt"))),
             QByteArray("(2022-09-01 14:05:09 Thu) Debug: abc\r\n \r\n"
                        "(2022-09-01 14:05:10 Thu)  i\r\n \r\n"
                        "(2022-09-01 14:05:11 Thu) Warning: %1 %2 %4 %3\r\n \r\n"
                        "(2022-09-01 14:05:12 Thu) Critical: 删除\n过期\r\n \r\n"
                        "(2022-09-01 23:59:59 Thu) Fatal: \r\n \r\n"));
    QCOMPARE(readFile(workDir.filePath(QStringLiteral("LogFile/20220902.txt"))),
             QByteArray("(2022-09-02 00:00:00 Fri) Debug: after\r\n \r\n"));
}

void TestDayLog::logDirectoryFollowsTheWorkingDirectory()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    appendDayLogEntry(QtDebugMsg, QStringLiteral("first"), at(1, 10, 0, 0));
    {
        ScopedWorkDir other;
        QVERIFY(other.isValid());
        appendDayLogEntry(QtDebugMsg, QStringLiteral("in other"), at(1, 10, 0, 0));
        QCOMPARE(entries(other.path()), (QStringList{QStringLiteral("Debug: in other"), QString()}));
    }
    QCOMPARE(entries(workDir.path()), (QStringList{QStringLiteral("Debug: first"), QString()}));

    QDir logDir(workDir.filePath(QStringLiteral("LogFile")));
    QVERIFY(logDir.removeRecursively());
    appendDayLogEntry(QtDebugMsg, QStringLiteral("second"), at(1, 10, 0, 0));
    QCOMPARE(entries(workDir.path()), (QStringList{QStringLiteral("Debug: second"), QString()}));

    // A plain file where the folder should be: the message is lost, the file kept.
    QVERIFY(logDir.removeRecursively());
    QFile blocker(logDir.path());
    QVERIFY(blocker.open(QIODevice::WriteOnly) && blocker.write("keep") == 4);
    blocker.close();
    appendDayLogEntry(QtDebugMsg, QStringLiteral("lost"), at(1, 10, 0, 0));
    QCOMPARE(readFile(blocker.fileName()), QByteArray("keep"));
}

void TestDayLog::concurrentThreadsWriteWholeEntries()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    constexpr int Threads = 2, MessagesPerThread = 200;
    // Larger than the stream and file buffers, so one entry takes several writes to the file and
    // only the lock keeps the entries of the two threads apart.
    constexpr int PaddingSize = 40000;
    const QtMessageHandler previous = qInstallMessageHandler(dayLogMessageHandler);
    std::vector<std::unique_ptr<QThread>> threads;
    for (int t = 0; t < Threads; ++t) {
        threads.emplace_back(QThread::create([t] {
            const QString padding(PaddingSize, QLatin1Char(char('a' + t)));
            for (int i = 0; i < MessagesPerThread; ++i)
                qDebug().noquote() << QStringLiteral("t%1-%2-").arg(t).arg(i) + padding;
        }));
        threads.back()->start();
    }
    bool finished = true;
    for (auto &thread : threads)
        finished = thread->wait(120000) && finished;
    qInstallMessageHandler(previous);
    QVERIFY(finished);

    QStringList logged = entries(workDir.path());
    QCOMPARE(logged.takeLast(), QString());
    QCOMPARE(logged.size(), Threads * MessagesPerThread);
    const QRegularExpression head(QStringLiteral("^Debug: t(\\d)-(\\d+)-"));
    QVector<int> lastIndex(Threads, -1);
    for (const QString &entry : logged) {
        const QRegularExpressionMatch match = head.match(entry);
        QVERIFY2(match.hasMatch(), qPrintable(entry.left(120)));
        const int t = match.captured(1).toInt();
        // Each thread's messages arrive whole, once each and in their order.
        QCOMPARE(entry.mid(match.capturedEnd()), QString(PaddingSize, QLatin1Char(char('a' + t))));
        QCOMPARE(match.captured(2).toInt(), ++lastIndex[t]);
    }
}

void TestDayLog::onlyTheOwnerReads()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    const QString folder = workDir.filePath(QStringLiteral("LogFile"));
    const QString day = workDir.filePath(QStringLiteral("LogFile/20220901.txt"));
    const mode_t previousMask = ::umask(0); // whatever the user's umask lets through
    appendDayLogEntry(QtDebugMsg, QStringLiteral("account engineer"), at(1, 10, 0, 0));
    ::umask(previousMask);
    QCOMPARE(modeOf(folder), 0700);
    QCOMPARE(modeOf(day), 0600);

    // Folders of an earlier version are tightened; what a link points at is not touched.
    QTemporaryDir outside;
    const QString foreign = outside.filePath(QStringLiteral("foreign.txt"));
    QVERIFY(QFile(foreign).open(QIODevice::WriteOnly));
    QVERIFY(QFile::link(foreign, workDir.filePath(QStringLiteral("LogFile/link.txt"))));
    for (const auto &[path, mode] : {std::pair{foreign, 0644}, std::pair{folder, 0755}, std::pair{day, 0644}})
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    OwnerOnly::tightenFolder(folder);
    QCOMPARE(modeOf(folder), 0700);
    QCOMPARE(modeOf(day), 0600);
    QCOMPARE(modeOf(foreign), 0644);
    // A folder of that name that is a link is neither made nor followed.
    QVERIFY(QFile::link(outside.path(), workDir.filePath(QStringLiteral("logs"))));
    QVERIFY(!OwnerOnly::makeFolder(workDir.filePath(QStringLiteral("logs"))));
    OwnerOnly::tightenFolder(workDir.filePath(QStringLiteral("logs")));
    QCOMPARE(modeOf(foreign), 0644);
}

QTEST_GUILESS_MAIN(TestDayLog)
#include "tst_daylog.moc"
