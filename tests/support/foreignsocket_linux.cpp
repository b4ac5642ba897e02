#include "support/foreignsocket.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
int socketAs(uid_t uid, const QString &path, bool listening)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path)
        return -1;
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const uid_t own = ::geteuid();
    if (fd < 0 || ::seteuid(uid) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    // The kernel records the credentials of bind/listen and of connect.
    const auto *raw = reinterpret_cast<const sockaddr *>(&address);
    const bool made = listening ? ::bind(fd, raw, sizeof address) == 0 && ::listen(fd, 8) == 0
                                : ::connect(fd, raw, sizeof address) == 0;
    if (::seteuid(own) != 0)
        qFatal("cannot return to uid %u", unsigned(own));
    if (!made) {
        ::close(fd);
        return -1;
    }
    return fd;
}
} // namespace

int foreignsocket::listenAs(uid_t uid, const QString &path)
{
    return socketAs(uid, path, true);
}

int foreignsocket::connectAs(uid_t uid, const QString &path)
{
    return socketAs(uid, path, false);
}

QStringList foreignsocket::listeningPaths(qint64 pid)
{
    QSet<QString> inodes;
    const QString fds = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QString &fd : QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
        const QString target = QFileInfo(fds + QLatin1Char('/') + fd).symLinkTarget();
        if (target.contains(QLatin1String("socket:[")))
            inodes << target.section(QLatin1Char('['), 1).section(QLatin1Char(']'), 0, 0);
    }
    // "Num RefCount Protocol Flags Type St Inode Path"; flag 0x10000: listening.
    QStringList paths;
    QFile table(QStringLiteral("/proc/net/unix"));
    if (!table.open(QIODevice::ReadOnly))
        return paths;
    table.readLine();
    while (!table.atEnd()) {
        const QStringList fields = QString::fromUtf8(table.readLine()).simplified().split(QLatin1Char(' '));
        if (fields.size() >= 8 && inodes.contains(fields.at(6)) && (fields.at(3).toUInt(nullptr, 16) & 0x10000))
            paths << fields.mid(7).join(QLatin1Char(' '));
    }
    return paths;
}
