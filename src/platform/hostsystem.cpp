#include "platform/hostsystem.h"

#include "platform/hostsystem_linux.h"

#include <atomic>

namespace {

std::atomic<HostSystem *> installedHost{nullptr};

} // namespace

HostSystem &hostSystem()
{
    if (HostSystem *host = installedHost.load())
        return *host;
    static LinuxHostSystem linuxHost;
    return linuxHost;
}

void installHostSystem(HostSystem *host)
{
    installedHost.store(host);
}
