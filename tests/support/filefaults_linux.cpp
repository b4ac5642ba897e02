#include "support/filefaults.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace filefaults {
namespace {

const QString filler = QStringLiteral("filler");

bool changeAttributes(const QString &path, bool immutable)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return ok;
}

} // namespace

SmallDisk::SmallDisk(const QStringList &carried) : previousPath(QDir::currentPath())
{
    const QByteArray target = QFile::encodeName(directory.path());
    mounted = directory.isValid() && ::geteuid() == 0 &&
              ::mount("tmpfs", target.constData(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k,mode=0700") == 0;
    if (!mounted)
        return;
    for (const QString &name : carried)
        QFile::copy(name, directory.filePath(name));
    entered = QDir::setCurrent(directory.path());
}

SmallDisk::~SmallDisk()
{
    QDir::setCurrent(previousPath);
    if (mounted)
        ::umount2(QFile::encodeName(directory.path()).constData(), MNT_DETACH);
}

bool SmallDisk::fill(int freePages)
{
    QFile file(directory.filePath(filler));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const QByteArray block(4096, 'x');
    while (file.write(block) == block.size()) {
    }
    while (file.write("x", 1) == 1) {
    }
    // Every page of the filler is full now, so each 4 KiB cut frees one.
    return file.size() >= freePages * 4096 && file.resize(file.size() - freePages * 4096);
}

void SmallDisk::makeRoom()
{
    QFile::remove(directory.filePath(filler));
}

bool SmallDisk::setReadOnly(bool on)
{
    const unsigned long flags = MS_REMOUNT | MS_NOSUID | MS_NODEV | (on ? MS_RDONLY : 0);
    return mounted && ::mount("tmpfs", QFile::encodeName(directory.path()).constData(), "tmpfs", flags, nullptr) == 0;
}

Immutable::Immutable(const QString &path) : path(path), set(::geteuid() == 0 && changeAttributes(path, true))
{
}

Immutable::~Immutable()
{
    if (set)
        changeAttributes(path, false);
}

} // namespace filefaults
