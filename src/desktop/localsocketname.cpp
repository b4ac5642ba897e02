#include "desktop/localsocketname.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
const QString socketFileName = QStringLiteral(".korvane-client.socket");
} // namespace

QString LocalSocketName::forFolder(const QString &directory)
{
    return QDir(directory).absolutePath() + QLatin1Char('/') + socketFileName;
}

LocalSocketName::Reach::Reach(const QString &directory) : reachable(forFolder(directory))
{
    if (size_t(QFile::encodeName(reachable).size()) < sizeof(sockaddr_un::sun_path))
        return;
    folderDescriptor = ::open(QFile::encodeName(directory).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folderDescriptor >= 0)
        reachable = QStringLiteral("/proc/self/fd/%1/").arg(folderDescriptor) + socketFileName;
}

LocalSocketName::Reach::~Reach()
{
    if (folderDescriptor >= 0)
        ::close(folderDescriptor);
}

void LocalSocketName::removeLeftover(const QString &directory)
{
    const QString name = forFolder(directory);
    struct stat status {};
    if (::lstat(QFile::encodeName(name).constData(), &status) == 0 && status.st_uid == ::geteuid() &&
        !S_ISDIR(status.st_mode))
        QFile::remove(name);
}

bool LocalSocketName::peerIsThisUser(const QLocalSocket &socket)
{
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::geteuid();
}
