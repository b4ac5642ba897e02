#include "platform/owneronly.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Opened without following a link, so the rights change on the entry itself.
void tighten(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat status {};
    if (::fstat(fd, &status) == 0 && status.st_uid == ::geteuid() && (status.st_mode & (S_IRWXG | S_IRWXO)))
        ::fchmod(fd, status.st_mode & S_IRWXU);
    ::close(fd);
}
} // namespace

bool OwnerOnly::makeFolder(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    ::mkdir(name.constData(), S_IRWXU);
    struct stat status {};
    return ::lstat(name.constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

void OwnerOnly::tightenFolder(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISDIR(status.st_mode))
        return;
    tighten(path);
    for (const QString &name : QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks))
        tighten(path + QLatin1Char('/') + name);
}
