#include "app/logmessagehandler.h"

#include "platform/owneronly.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

QString levelWord(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("Debug:");
    case QtWarningMsg:
        return QStringLiteral("Warning:");
    case QtCriticalMsg:
        return QStringLiteral("Critical:");
    case QtFatalMsg:
        return QStringLiteral("Fatal:");
    default:
        return QString();
    }
}

// Created on first use and deliberately never destroyed: messages can still arrive while static
// objects are torn down at exit.
QMutex *logLock()
{
    static QMutex *const lock = new QMutex;
    return lock;
}

} // namespace

QString formatLogEntry(QtMsgType type, const QString &message, const QDateTime &now)
{
    const QString stamp = QLocale::system().toString(now, QStringLiteral("yyyy-MM-dd hh:mm:ss ddd"));
    // %3 is unused on purpose; the message fills %4. One multi-arg call, so a "%n" inside the
    // stamp or the message is never substituted again.
    return QStringLiteral("%1 %2 %4").arg(QStringLiteral("(%1)").arg(stamp), levelWord(type), message);
}

void appendDayLogEntry(QtMsgType type, const QString &message, const QDateTime &now)
{
    const QString logDir = QDir::currentPath() + QStringLiteral("/LogFile");
    // Never through a link: a client run as root would append to whatever file it points at.
    // Owner-only: the entries name accounts, TAPs and gateways.
    if (QFileInfo(logDir).isSymLink() || !OwnerOnly::makeFolder(logDir))
        return;

    // ASCII digits whatever the locale, so the retention at start-up can read the day back.
    QFile file(logDir + QLatin1Char('/') + QLocale::c().toString(now.date(), QStringLiteral("yyyyMMdd"))
               + QStringLiteral(".txt"));
#ifdef Q_OS_UNIX
    const int fd = ::open(QFile::encodeName(file.fileName()).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return;
    if (!file.open(fd, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return;
    }
#else
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
#endif
    QTextStream stream(&file);
    // UTF-8 whatever the system's code page: the entries are Chinese.
    stream.setCodec("UTF-8");
    stream << formatLogEntry(type, message, now) << QLatin1String("\r\n \r\n");
    stream.flush();
    file.close();
}

void dayLogMessageHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    Q_UNUSED(context)
    QMutexLocker locker(logLock());
    appendDayLogEntry(type, message, QDateTime::currentDateTime());
}
