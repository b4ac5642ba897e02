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

std::optional<quint64> parseProcessIdText(const QString &text, quint64 max)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    }
    bool ok = false;
    const quint64 value = text.toULongLong(&ok);
    if (!ok || value == 0 || value > max)
        return std::nullopt;
    return value;
}
