#include "store/atomicfile.h"

#include "platform/useracl_windows.h"

#include <QDir>
#include <QRandomGenerator>

namespace {

bool fail(QString *error, const char *step, DWORD code)
{
    if (error) {
        wchar_t *text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
        const QString reason = text ? QString::fromWCharArray(text).trimmed() : QString::number(code);
        LocalFree(text);
        *error = QLatin1String(step) + QLatin1String(": ") + reason;
    }
    return false;
}

bool writeAll(HANDLE file, const QByteArray &content)
{
    const char *data = content.constData();
    qint64 left = content.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = DWORD(qMin<qint64>(left, 1 << 20));
        if (!WriteFile(file, data, chunk, &written, nullptr))
            return false;
        if (written == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Readers that cache a file by its size and modification time (QSettings does) must see the new
// file as changed even when it has the old one's size and comes within the same millisecond.
bool differFromOldTime(HANDLE file, const std::wstring &target)
{
    WIN32_FILE_ATTRIBUTE_DATA old{};
    FILETIME fresh{};
    if (!GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &old) ||
        !GetFileTime(file, nullptr, nullptr, &fresh))
        return true;
    const auto ticks = [](const FILETIME &time) {
        return (quint64(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 10000; // milliseconds
    };
    if (ticks(fresh) != ticks(old.ftLastWriteTime))
        return true;
    const quint64 later = (ticks(old.ftLastWriteTime) + 1) * 10000;
    const FILETIME moved{DWORD(later & 0xFFFFFFFF), DWORD(later >> 32)};
    return SetFileTime(file, nullptr, nullptr, &moved);
}

} // namespace

bool AtomicFile::replace(const QString &path, const QByteArray &content, QString *error, Durability durability)
{
    const std::wstring target = QDir::toNativeSeparators(path).toStdWString();
    const std::unique_ptr<UserAcl::Descriptor> acl = UserAcl::ownerOnly(false);
    if (!acl)
        return fail(error, "create", GetLastError());
    std::wstring temporary;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temporary = target + L"." + QString::number(QRandomGenerator::global()->generate(), 36).toStdWString();
        file = CreateFileW(temporary.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, &acl->attributes, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (file == INVALID_HANDLE_VALUE)
        return fail(error, "create", GetLastError());

    const char *step = "write";
    bool ok = writeAll(file, content);
    if (ok) {
        step = "set the time";
        ok = differFromOldTime(file, target);
    }
    if (ok && durability == Durability::Synced) {
        step = "fsync";
        ok = FlushFileBuffers(file);
    }
    DWORD code = GetLastError();
    if (!CloseHandle(file) && ok) {
        step = "close";
        code = GetLastError();
        ok = false;
    }
    const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durability == Durability::Synced ? MOVEFILE_WRITE_THROUGH : 0);
    if (ok && !MoveFileExW(temporary.c_str(), target.c_str(), flags)) {
        step = "rename";
        code = GetLastError();
        ok = false;
    }
    if (!ok) {
        DeleteFileW(temporary.c_str());
        return fail(error, step, code);
    }
    return true;
}
