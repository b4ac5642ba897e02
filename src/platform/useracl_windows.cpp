#include "platform/useracl_windows.h"

#include <QDir>

#include <aclapi.h>
#include <sddl.h>

namespace {

std::wstring nativePath(const QString &path)
{
    return QDir::toNativeSeparators(path).toStdWString();
}

// The rights that change an entry or who may use it.
constexpr DWORD changingRights = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_WRITE_ATTRIBUTES |
                                 FILE_DELETE_CHILD | DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

bool isTrustedOther(PSID sid)
{
    // SYSTEM and the administrators can change anything anyway, as root can on Linux.
    return IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
}

} // namespace

std::unique_ptr<unsigned char[]> UserAcl::currentUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return nullptr;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::unique_ptr<unsigned char[]> buffer(size ? new unsigned char[size] : nullptr);
    std::unique_ptr<unsigned char[]> sid;
    if (buffer && GetTokenInformation(token, TokenUser, buffer.get(), size, &size)) {
        const PSID user = reinterpret_cast<TOKEN_USER *>(buffer.get())->User.Sid;
        const DWORD length = GetLengthSid(user);
        sid.reset(new unsigned char[length]);
        if (!CopySid(length, sid.get(), user))
            sid.reset();
    }
    CloseHandle(token);
    return sid;
}

std::unique_ptr<UserAcl::Descriptor> UserAcl::ownerOnly(bool inheritable)
{
    auto result = std::make_unique<Descriptor>();
    result->userSid = currentUserSid();
    if (!result->userSid)
        return nullptr;
    const PSID sid = result->userSid.get();
    const DWORD aclSize = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + GetLengthSid(sid);
    result->acl.reset(new unsigned char[aclSize]);
    auto *acl = reinterpret_cast<PACL>(result->acl.get());
    const DWORD inheritance = inheritable ? (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) : 0;
    if (!InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !AddAccessAllowedAceEx(acl, ACL_REVISION, inheritance, FILE_ALL_ACCESS, sid) ||
        !InitializeSecurityDescriptor(&result->descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorDacl(&result->descriptor, TRUE, acl, FALSE) ||
        !SetSecurityDescriptorControl(&result->descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
        return nullptr;
    result->attributes.nLength = sizeof result->attributes;
    result->attributes.lpSecurityDescriptor = &result->descriptor;
    result->attributes.bInheritHandle = FALSE;
    return result;
}

bool UserAcl::isPlainEntry(const QString &path, bool *isFolder)
{
    const DWORD attributes = GetFileAttributesW(nativePath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    if (isFolder)
        *isFolder = attributes & FILE_ATTRIBUTE_DIRECTORY;
    return true;
}

bool UserAcl::restrictToUser(const QString &path)
{
    bool folder = false;
    if (!isPlainEntry(path, &folder))
        return false;
    const std::unique_ptr<Descriptor> wanted = ownerOnly(folder);
    if (!wanted)
        return false;
    std::wstring name = nativePath(path);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR current = nullptr;
    if (GetNamedSecurityInfoW(name.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                              nullptr, &current) != ERROR_SUCCESS)
        return false;
    const bool ours = owner && EqualSid(owner, wanted->userSid.get());
    LocalFree(current);
    if (!ours)
        return false;
    return SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 reinterpret_cast<PACL>(wanted->acl.get()), nullptr) == ERROR_SUCCESS;
}

bool UserAcl::isPrivateToUser(const QString &path)
{
    if (!isPlainEntry(path))
        return false;
    const std::unique_ptr<unsigned char[]> user = currentUserSid();
    if (!user)
        return false;
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(nativePath(path).c_str(), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    // No DACL at all lets everyone do everything.
    bool privateToUser = owner && EqualSid(owner, user.get()) && dacl;
    for (DWORD i = 0; privateToUser && i < dacl->AceCount; ++i) {
        void *entry = nullptr;
        if (!GetAce(dacl, i, &entry)) {
            privateToUser = false;
            break;
        }
        const auto *header = static_cast<ACE_HEADER *>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE) {
            // Denials only take rights away; any other kind of grant counts against privacy.
            if (header->AceType != ACCESS_DENIED_ACE_TYPE)
                privateToUser = false;
            continue;
        }
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue;
        const auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(entry);
        const PSID grantee = const_cast<DWORD *>(&allowed->SidStart);
        if ((allowed->Mask & changingRights) && !EqualSid(grantee, user.get()) && !isTrustedOther(grantee))
            privateToUser = false;
    }
    LocalFree(descriptor);
    return privateToUser;
}
