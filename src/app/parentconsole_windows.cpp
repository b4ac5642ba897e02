#include "app/parentconsole.h"

#include <cstdio>

#include <windows.h>

namespace {

bool isRedirected(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void useParentConsole()
{
    const bool output = isRedirected(STD_OUTPUT_HANDLE);
    const bool errors = isRedirected(STD_ERROR_HANDLE);
    if ((output && errors) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!output)
        std::freopen("CONOUT$", "w", stdout);
    if (!errors)
        std::freopen("CONOUT$", "w", stderr);
}
