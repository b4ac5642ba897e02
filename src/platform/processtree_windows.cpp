#include "platform/processtree_windows.h"

#include <QDir>

#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <map>

namespace {

ULONGLONG creationTime(HANDLE process)
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    return (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

// The parent id of every process, from one snapshot.
std::multimap<DWORD, DWORD> childrenByParent()
{
    std::multimap<DWORD, DWORD> children;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return children;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID != 0 && entry.th32ProcessID != entry.th32ParentProcessID)
            children.emplace(entry.th32ParentProcessID, entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return children;
}

// A UNICODE_STRING of the process's parameters block, read across.
QString readRemoteString(HANDLE process, const UNICODE_STRING &text)
{
    if (!text.Buffer || text.Length == 0 || text.Length > 65534)
        return {};
    std::wstring buffer(text.Length / sizeof(wchar_t), L'\0');
    SIZE_T read = 0;
    if (!ReadProcessMemory(process, text.Buffer, buffer.data(), text.Length, &read) || read != text.Length)
        return {};
    return QString::fromStdWString(buffer);
}

// The start-up parameters block of another process (64-bit layout): the working directory's DOS
// path at 0x38, the command line at 0x70.
struct ProcessParameters {
    UNICODE_STRING currentDirectory{};
    UNICODE_STRING commandLine{};
};

bool readParameters(HANDLE process, ProcessParameters &parameters)
{
    using QueryInformation = NTSTATUS(NTAPI *)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    static const auto query = reinterpret_cast<QueryInformation>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    if (!query)
        return false;
    PROCESS_BASIC_INFORMATION basic{};
    if (query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 || !basic.PebBaseAddress)
        return false;
    void *block = nullptr;
    SIZE_T read = 0;
    const auto *peb = reinterpret_cast<const unsigned char *>(basic.PebBaseAddress);
    if (!ReadProcessMemory(process, peb + 0x20, &block, sizeof block, &read) || !block)
        return false;
    const auto *base = static_cast<const unsigned char *>(block);
    return ReadProcessMemory(process, base + 0x38, &parameters.currentDirectory, sizeof(UNICODE_STRING), &read) &&
           ReadProcessMemory(process, base + 0x70, &parameters.commandLine, sizeof(UNICODE_STRING), &read);
}

} // namespace

ProcessTree::Handle::~Handle()
{
    if (value)
        CloseHandle(value);
}

std::unique_ptr<ProcessTree::Handle> ProcessTree::open(DWORD id)
{
    if (id == 0 || id == GetCurrentProcessId())
        return nullptr;
    const HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
    if (!process)
        return nullptr;
    auto handle = std::make_unique<Handle>(process);
    handle->id = id;
    return handle;
}

bool ProcessTree::isRunning(HANDLE process)
{
    return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
}

ProcessTree::Handles ProcessTree::descendants(HANDLE root, DWORD rootId)
{
    Handles tree;
    const std::multimap<DWORD, DWORD> children = childrenByParent();
    std::vector<std::pair<DWORD, ULONGLONG>> parents{{rootId, creationTime(root)}};
    for (size_t i = 0; i < parents.size(); ++i) {
        const auto range = children.equal_range(parents[i].first);
        for (auto child = range.first; child != range.second; ++child) {
            const DWORD id = child->second;
            if (std::any_of(tree.begin(), tree.end(), [id](const auto &known) { return known->id == id; }))
                continue;
            std::unique_ptr<Handle> handle = open(id);
            if (!handle)
                continue;
            const ULONGLONG created = creationTime(handle->value);
            if (created == 0 || created < parents[i].second)
                continue; // the recorded parent ended; its id went to the process we looked for
            parents.emplace_back(id, created);
            tree.push_back(std::move(handle));
        }
    }
    return tree;
}

QString ProcessTree::imageName(DWORD id)
{
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    if (!process)
        return {};
    wchar_t path[MAX_PATH * 2];
    DWORD size = DWORD(std::size(path));
    QString name;
    if (QueryFullProcessImageNameW(process, 0, path, &size))
        name = QString::fromWCharArray(path, int(size)).section(QLatin1Char('\\'), -1);
    CloseHandle(process);
    return name;
}

QString ProcessTree::commandLine(HANDLE process)
{
    ProcessParameters parameters;
    return readParameters(process, parameters) ? readRemoteString(process, parameters.commandLine) : QString();
}

QString ProcessTree::workingDirectory(HANDLE process)
{
    ProcessParameters parameters;
    return readParameters(process, parameters) ? readRemoteString(process, parameters.currentDirectory) : QString();
}

bool ProcessTree::waitAllEnded(const Handles &processes, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (const auto &process : processes) {
        const ULONGLONG now = GetTickCount64();
        const DWORD left = now >= deadline ? 0 : DWORD(deadline - now);
        if (WaitForSingleObject(process->value, left) == WAIT_TIMEOUT)
            return false;
    }
    return true;
}
