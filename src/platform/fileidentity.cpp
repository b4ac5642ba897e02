#include "platform/fileidentity.h"

#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

quint64 ownRegularFileIdentity(const QString &path)
{
    struct stat status {};
    const bool own = ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode) &&
                     status.st_uid == ::geteuid();
    return own ? quint64(status.st_ino) : 0;
}
