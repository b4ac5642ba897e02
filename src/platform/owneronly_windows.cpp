#include "platform/owneronly.h"

#include "platform/useracl_windows.h"

#include <QDir>

bool OwnerOnly::makeFolder(const QString &path)
{
    // Created with the user's rights only; files made inside inherit them.
    if (const std::unique_ptr<UserAcl::Descriptor> acl = UserAcl::ownerOnly(true))
        CreateDirectoryW(QDir::toNativeSeparators(path).toStdWString().c_str(), &acl->attributes);
    bool folder = false;
    return UserAcl::isPlainEntry(path, &folder) && folder;
}

void OwnerOnly::tightenFolder(const QString &path)
{
    bool folder = false;
    if (!UserAcl::isPlainEntry(path, &folder) || !folder)
        return;
    UserAcl::restrictToUser(path);
    for (const QString &name : QDir(path).entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks))
        UserAcl::restrictToUser(path + QLatin1Char('/') + name);
}
