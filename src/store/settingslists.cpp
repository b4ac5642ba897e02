#include "store/settingslists.h"

#include "store/atomicfile.h"
#include "store/initext.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QSettings>
#include <QVariant>

#include <optional>

// Every file is checked before QSettings sees it (see IniText), and what QSettings then reads is
// compared with what the check saw: the two must agree on every list, or the file counts as
// damaged. All keys are read through one settings object, so they all come from one parse; the
// status of a later object can come from QSettings' cache and hide a format error.
//
// Writing does not go through QSettings: it would rename a cut temporary file over the real one on
// a full disk and report nothing, and wait for its lock file without end. The file is written in
// QSettings' own format instead (IniText::render), whole, and put in place by one rename.

namespace {

enum class FileState { Missing, Clean, Damaged, Unreadable };

struct Inspection {
    FileState state = FileState::Missing;
    QList<std::optional<QByteArrayList>> lists; // per key; nullopt: missing or of another type
};

QString settingsKey(const QString &key)
{
    return QStringLiteral("config/") + key;
}

Inspection damaged()
{
    return {FileState::Damaged, {}};
}

Inspection inspect(const QString &path, const QStringList &keys)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    if (!info.isFile())
        return {FileState::Unreadable, {}};
    if (info.size() > SettingsLists::MaxFileSize)
        return damaged();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {FileState::Unreadable, {}};
    const QByteArray content = file.read(SettingsLists::MaxFileSize + 1);
    if (file.error() != QFileDevice::NoError)
        return {FileState::Unreadable, {}};
    const IniText::Parsed parsed = IniText::parse(content);
    if (content.size() > SettingsLists::MaxFileSize || !parsed.ok)
        return damaged();

    Inspection result{FileState::Clean, {}};
    QSettings settings(path, QSettings::IniFormat);
    int length = -1;
    for (const QString &key : keys) {
        const std::optional<QByteArrayList> seen = parsed.values.value(settingsKey(key));
        const QVariant value = settings.value(settingsKey(key));
        const std::optional<QByteArrayList> read = value.userType() == QMetaType::QByteArrayList
                                                       ? std::optional<QByteArrayList>(value.value<QByteArrayList>())
                                                       : std::nullopt;
        if (read != seen || (seen && length >= 0 && seen->size() != length))
            return damaged();
        if (seen)
            length = seen->size();
        result.lists.append(seen);
    }
    return result;
}

void logFailure(const QString &path, const QString &reason)
{
    qWarning().noquote() << QStringLiteral("设置文件保存失败：") + path + QStringLiteral("，") + reason;
}

QString lockFailure(const QLockFile &lock)
{
    switch (lock.error()) {
    case QLockFile::LockFailedError:
        return QStringLiteral("lock: held by another process, or a stale one cannot be removed");
    case QLockFile::PermissionError:
        return QStringLiteral("lock: permission denied");
    default:
        return QStringLiteral("lock: unknown error");
    }
}

// Copies the file to path + ".corrupt" (or ".corrupt.1", ".corrupt.2", ... when earlier copies
// exist); the copy is owner-only, like the file.
bool keepDamagedCopy(const QString &path, QString *error)
{
    QFile file(path);
    const QByteArray content = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("read for the copy: ") + file.errorString();
        return false;
    }
    const QString base = path + QStringLiteral(".corrupt");
    QString target = base;
    for (int n = 1; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = base + QLatin1Char('.') + QString::number(n);
    if (!AtomicFile::replace(target, content, error)) {
        error->prepend(QStringLiteral("copy aside: "));
        return false;
    }
    return true;
}

} // namespace

QList<QByteArrayList> SettingsLists::read(const QString &filePath, const QStringList &keys, int maxEntries)
{
    const Inspection seen = inspect(filePath, keys);
    QList<QByteArrayList> lists;
    for (int i = 0; i < keys.size(); ++i)
        lists.append(QByteArrayList());
    if (seen.state == FileState::Damaged || seen.state == FileState::Unreadable)
        qWarning().noquote() << QStringLiteral("设置文件无法读取或已损坏，按空文件处理：") + filePath;
    if (seen.state != FileState::Clean || !seen.lists.value(0))
        return lists;

    const int count = maxEntries < 0 ? seen.lists.at(0)->size() : std::min(seen.lists.at(0)->size(), maxEntries);
    for (int i = 0; i < keys.size(); ++i) {
        if (seen.lists.at(i)) {
            lists[i] = seen.lists.at(i)->mid(0, count);
            continue;
        }
        while (lists[i].size() < count)
            lists[i].append(QByteArray());
    }
    return lists;
}

bool SettingsLists::write(const QString &filePath, const QStringList &keys, const QList<QByteArrayList> &lists)
{
    QLockFile lock(filePath + QStringLiteral(".lock"));
    if (!lock.tryLock(LockWaitMs)) {
        logFailure(filePath, lockFailure(lock));
        return false;
    }
    const FileState state = inspect(filePath, keys).state;
    QString error;
    if (state == FileState::Unreadable) {
        // Replacing a file that cannot be read would lose it without a copy.
        logFailure(filePath, QStringLiteral("the present file cannot be read"));
        return false;
    }
    if (state == FileState::Damaged && !keepDamagedCopy(filePath, &error)) {
        logFailure(filePath, error);
        return false;
    }
    if (!AtomicFile::replace(filePath, IniText::render(QStringLiteral("config"), keys, lists), &error)) {
        logFailure(filePath, error);
        return false;
    }
    return true;
}
