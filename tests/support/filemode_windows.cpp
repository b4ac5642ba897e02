#include "support/filemode.h"

#include <QDir>
#include <QFileInfo>
#include <memory>

#include <windows.h>
#include <aclapi.h>

namespace {

std::unique_ptr<unsigned char[]> currentUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    auto buffer = std::make_unique<unsigned char[]>(size);
    const bool ok = size && GetTokenInformation(token, TokenUser, buffer.get(), size, &size);
    CloseHandle(token);
    if (!ok)
        return nullptr;
    const PSID sid = reinterpret_cast<TOKEN_USER *>(buffer.get())->User.Sid;
    auto copy = std::make_unique<unsigned char[]>(GetLengthSid(sid));
    CopySid(GetLengthSid(sid), copy.get(), sid);
    return copy;
}

bool isUserSystemOrAdministrators(PSID sid, PSID user)
{
    if (EqualSid(sid, user) || IsWellKnownSid(sid, WinLocalSystemSid))
        return true;
    return IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

// True when each entry of the DACL allows the current user, SYSTEM or the administrators (an
// inherited entry for anyone else shows up as an entry too). Wine adds SYSTEM to every new file.
bool grantsUserAlone(const QString &path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    if (GetNamedSecurityInfoW(native.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    const auto user = currentUserSid();
    bool alone = user && dacl && dacl->AceCount > 0;
    for (WORD i = 0; alone && i < dacl->AceCount; ++i) {
        void *entry = nullptr;
        alone = GetAce(dacl, i, &entry) &&
                reinterpret_cast<ACE_HEADER *>(entry)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
                isUserSystemOrAdministrators(&reinterpret_cast<ACCESS_ALLOWED_ACE *>(entry)->SidStart, user.get());
    }
    LocalFree(descriptor);
    return alone;
}

} // namespace

int permissionBits(const QString &path)
{
    const QFileInfo entry(path);
    if (!entry.exists())
        return -1;
    const bool alone = grantsUserAlone(entry.absoluteFilePath());
    if (entry.isDir())
        return alone ? 0700 : 0777;
    return alone ? 0600 : 0666;
}
