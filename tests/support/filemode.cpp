#include "support/filemode.h"

#include <QFile>

#include <sys/stat.h>

int permissionBits(const QString &path)
{
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}
