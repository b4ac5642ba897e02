#include "store/atomicfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool fail(QString *error, const char *step, int code)
{
    if (error)
        *error = QLatin1String(step) + QLatin1String(": ") + QString::fromLocal8Bit(std::strerror(code));
    return false;
}

bool writeAll(int fd, const QByteArray &content)
{
    const char *data = content.constData();
    qint64 left = content.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Makes the rename itself durable; the file is in place either way, so a failure here is not one
// of the replacement.
void syncDirectory(const QString &path)
{
    const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

// Readers that cache a file by its size and modification time (QSettings does) must see the new
// file as changed even when it has the old one's size and comes within the same millisecond.
bool differFromOldTime(int fd, const QByteArray &target)
{
    struct stat old {};
    struct stat fresh {};
    if (::stat(target.constData(), &old) != 0 || ::fstat(fd, &fresh) != 0)
        return true;
    const auto millisecond = [](const timespec &time) { return qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000; };
    if (millisecond(fresh.st_mtim) != millisecond(old.st_mtim))
        return true;
    timespec times[2] = {{0, UTIME_OMIT}, old.st_mtim};
    times[1].tv_nsec = (times[1].tv_nsec / 1000000 + 1) * 1000000;
    if (times[1].tv_nsec >= 1000000000) {
        times[1].tv_sec += 1;
        times[1].tv_nsec -= 1000000000;
    }
    return ::futimens(fd, times) == 0;
}

} // namespace

bool AtomicFile::replace(const QString &path, const QByteArray &content, QString *error, Durability durability)
{
    const QByteArray target = QFile::encodeName(path);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC); // created owner-only
    if (fd < 0)
        return fail(error, "create", errno);

    const char *step = "write";
    bool ok = writeAll(fd, content);
    if (ok) {
        step = "set the time";
        ok = differFromOldTime(fd, target);
    }
    if (ok && durability == Durability::Synced) {
        step = "fsync";
        ok = ::fsync(fd) == 0;
    }
    int code = errno;
    if (::close(fd) != 0 && ok) {
        step = "close";
        code = errno;
        ok = false;
    }
    if (ok && ::rename(temporary.constData(), target.constData()) != 0) {
        step = "rename";
        code = errno;
        ok = false;
    }
    if (!ok) {
        ::unlink(temporary.constData());
        return fail(error, step, code);
    }
    if (durability == Durability::Synced)
        syncDirectory(path);
    return true;
}
