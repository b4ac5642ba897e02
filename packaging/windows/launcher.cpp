// korvane-launcher.exe, the program of the start-menu entry: starts the client in the user's own
// data folder (%LOCALAPPDATA%\Korvane). The client keeps its settings, tunnel files and day logs in
// its working directory, and a per-machine installation under Program Files is not the user's to
// write. Arguments are passed on to the client.
#include "platform/owneronly.h"
#include "platform/useracl_windows.h"

#include <QString>

#include <shlobj.h>
#include <windows.h>

namespace {

void refuse(const QString &text)
{
    MessageBoxW(nullptr, reinterpret_cast<const wchar_t *>(text.utf16()), L"错误", MB_OK | MB_ICONERROR);
}

QString localAppData()
{
    PWSTR path = nullptr;
    QString result;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_LocalAppData, KF_FLAG_CREATE, nullptr, &path)))
        result = QString::fromWCharArray(path);
    CoTaskMemFree(path);
    return result;
}

QString ownFolder()
{
    wchar_t path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, path, sizeof path / sizeof *path);
    if (length == 0 || length >= sizeof path / sizeof *path)
        return QString();
    const QString file = QString::fromWCharArray(path, static_cast<int>(length));
    return file.left(file.lastIndexOf(QLatin1Char('\\')));
}

// This program's command line without its own name, as Windows splits it (a quoted first token
// ends at the next quote, an unquoted one at the first blank).
std::wstring passedArguments()
{
    const wchar_t *line = GetCommandLineW();
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            ++line;
    }
    return line;
}

} // namespace

int main()
{
    const QString base = localAppData();
    if (base.isEmpty()) {
        refuse(QStringLiteral("找不到本用户的应用数据目录（LOCALAPPDATA），无法启动客户端。"));
        return 1;
    }
    // The folder holds the accounts, the bindings and the logs: this user's only.
    const QString folder = base + QStringLiteral("\\Korvane");
    if (!OwnerOnly::makeFolder(folder) || !UserAcl::restrictToUser(folder)) {
        refuse(QStringLiteral("数据目录不是本用户的，或无法创建：\n%1").arg(folder));
        return 1;
    }
    const QString client = ownFolder() + QStringLiteral("\\korvane-client.exe");
    std::wstring commandLine = L"\"" + client.toStdWString() + L"\"" + passedArguments();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(reinterpret_cast<const wchar_t *>(client.utf16()), commandLine.data(), nullptr, nullptr,
                        FALSE, 0, nullptr, reinterpret_cast<const wchar_t *>(folder.utf16()), &startup, &process)) {
        refuse(QStringLiteral("无法启动客户端（错误 %1）：\n%2").arg(GetLastError()).arg(client));
        return 1;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}
