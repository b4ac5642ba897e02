#pragma once

#include <QString>

#include <memory>

#include <windows.h>

// Rights for the current user only, the Windows form of mode 0600/0700: a protected DACL (nothing
// inherited from the folder above) with one entry, full control for the user this process runs
// as, inherited by what is created inside a folder.
namespace UserAcl {

// A security descriptor to create a file or folder with; null when the user's SID is unknown.
struct Descriptor {
    std::unique_ptr<unsigned char[]> userSid;
    std::unique_ptr<unsigned char[]> acl;
    SECURITY_DESCRIPTOR descriptor{};
    SECURITY_ATTRIBUTES attributes{};
};
std::unique_ptr<Descriptor> ownerOnly(bool inheritable);

// The SID of the user this process runs as (a copy; empty on failure).
std::unique_ptr<unsigned char[]> currentUserSid();

// Replaces the DACL of an existing file or folder (not through a link) with the owner-only one,
// where this user owns it. False when it could not.
bool restrictToUser(const QString &path);

// True when the path is no link (reparse point) and it is a regular file or a folder.
bool isPlainEntry(const QString &path, bool *isFolder = nullptr);

// True when the user owns the entry and no one but the user, SYSTEM and the administrators may
// change it (no write, delete, change-rights or take-ownership right for anyone else).
bool isPrivateToUser(const QString &path);

} // namespace UserAcl
