#pragma once

#include <QString>

#include <memory>
#include <vector>

#include <windows.h>

// Processes by handle, the Windows form of a pidfd: while a handle is open, its process id is not
// given to another process, so whatever is checked through it stays the process acted on.
namespace ProcessTree {

struct Handle {
    explicit Handle(HANDLE h = nullptr) : value(h) {}
    ~Handle();
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE value;
    DWORD id = 0;
};
using Handles = std::vector<std::unique_ptr<Handle>>;

// Opens the process for waiting, termination and queries; null when it is gone or not ours to open.
std::unique_ptr<Handle> open(DWORD id);
bool isRunning(HANDLE process);

// The processes below `root` (children, grandchildren, ...), each opened; a child counts only if it
// was created after its parent, since a recorded parent id may name an ended process whose id was
// given again.
Handles descendants(HANDLE root, DWORD rootId);

// The image file name (no folder) of a running process, e.g. "cmd.exe".
QString imageName(DWORD id);
// The command line and working directory the process was started with, read from its own memory.
QString commandLine(HANDLE process);
QString workingDirectory(HANDLE process);

// Waits until none of the processes runs, or the time is up; true when none runs.
bool waitAllEnded(const Handles &processes, DWORD timeoutMs);

} // namespace ProcessTree
