#include "tunnel/logic/managementpassword.h"

#include "platform/owneronly.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryFile>

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

    // QTemporaryFile creates the file exclusively; the rights go to the user alone before the
    // secret is written (on Windows the file would keep what the folder passes on).
    auto created = std::make_unique<QTemporaryFile>(QDir::tempPath() + QLatin1Char('/') + filePrefix + QStringLiteral("XXXXXX"));
    if (!created->open() || !OwnerOnly::restrictFile(created->fileName()) ||
        created->write(secret + '\n') != secret.size() + 1 || !created->flush()) {
        secret.clear();
        return false;
    }
    created->close();
    file = std::move(created);
    return true;
}

void ManagementPassword::discard()
{
    file.reset();
    secret.clear();
}

QString ManagementPassword::filePath() const
{
    return file ? file->fileName() : QString();
}

void ManagementPassword::removeLeftover(const QString &path)
{
    const QFileInfo file(path);
    if (file.fileName().startsWith(filePrefix) && file.absolutePath() == QDir(QDir::tempPath()).absolutePath() &&
        file.isFile() && !file.isSymLink())
        QFile::remove(path);
}
