#include "platform/fileidentity.h"

#include "platform/useracl_windows.h"

#include <QDir>

#include <aclapi.h>

quint64 ownRegularFileIdentity(const QString &path)
{
    const HANDLE file =
        CreateFileW(QDir::toNativeSeparators(path).toStdWString().c_str(), READ_CONTROL | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    quint64 identity = 0;
    BY_HANDLE_FILE_INFORMATION information{};
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::unique_ptr<unsigned char[]> user = UserAcl::currentUserSid();
    if (user && GetFileInformationByHandle(file, &information) &&
        !(information.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
        GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) == ERROR_SUCCESS &&
        owner && EqualSid(owner, user.get()))
        identity = (quint64(information.nFileIndexHigh) << 32 | information.nFileIndexLow) + 1;
    LocalFree(descriptor);
    CloseHandle(file);
    return identity;
}
