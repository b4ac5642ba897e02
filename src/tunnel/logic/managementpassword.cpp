#include "tunnel/logic/managementpassword.h"

#include "store/atomicfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

namespace {
const QString filePrefix = QStringLiteral("korvane-management-");
}

ManagementPassword::ManagementPassword() = default;
ManagementPassword::~ManagementPassword() = default;

bool ManagementPassword::renew()
{
    discard();
    QByteArray raw(24, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(raw.data()), raw.size() / 4);
    // Hex: no blank or line break that the tunnel program's line reader could cut.
    secret = raw.toHex();

    // The file is born with rights for the user alone (mode 0600; on Windows an ACL for the user),
    // under a fresh random name: a file made first and restricted afterwards would keep, on
    // Windows, what the temporary folder passes on. A link put in its place is replaced, not
    // followed.
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString name = QDir::tempPath() + QLatin1Char('/') + filePrefix;
    for (int i = 0; i < 12; ++i)
        name += QLatin1Char(letters[QRandomGenerator::system()->bounded(int(sizeof letters) - 1)]);
    if (!AtomicFile::replace(name, secret + '\n', nullptr, AtomicFile::Durability::Unsynced)) {
        secret.clear();
        return false;
    }
    path = name;
    return true;
}

void ManagementPassword::discard()
{
    if (!path.isEmpty())
        QFile::remove(path);
    path.clear();
    secret.clear();
}

QString ManagementPassword::filePath() const
{
    return path;
}

void ManagementPassword::removeLeftover(const QString &path)
{
    const QFileInfo file(path);
    if (file.fileName().startsWith(filePrefix) && file.absolutePath() == QDir(QDir::tempPath()).absolutePath() &&
        file.isFile() && !file.isSymLink())
        QFile::remove(path);
}
