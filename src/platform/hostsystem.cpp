#include "platform/hostsystem.h"

#include <atomic>

// The production host layer of this system (hostsystem_linux.cpp or hostsystem_windows.cpp).
HostSystem &productionHostSystem();

namespace {

std::atomic<HostSystem *> installedHost{nullptr};

} // namespace

HostSystem &hostSystem()
{
    if (HostSystem *host = installedHost.load())
        return *host;
    return productionHostSystem();
}

void installHostSystem(HostSystem *host)
{
    installedHost.store(host);
}
