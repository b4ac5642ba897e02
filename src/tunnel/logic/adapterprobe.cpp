#include "tunnel/logic/adapterprobe.h"

#include <QDebug>

namespace {

bool isTapAdapter(const AdapterInfo &adapter)
{
    return adapter.description.startsWith(QLatin1String("TAP"), Qt::CaseSensitive);
}

// Judged by the adapter's own address chain, so that an adapter with several addresses cannot
// shift the verdict onto its neighbours.
AdapterState tapAdapterState(const AdapterInfo &adapter)
{
    for (const QString &address : adapter.ipv4Addresses) {
        if (address != QLatin1String("0.0.0.0"))
            return AdapterInUse;
    }
    return AdapterIdle;
}

} // namespace

AdapterState classifyAdapters(const std::vector<AdapterInfo> &adapters)
{
    AdapterState state = AdapterMissing;
    for (const AdapterInfo &adapter : adapters) {
        if (isTapAdapter(adapter))
            state = tapAdapterState(adapter);
    }
    return state;
}

AdapterState probeTapAdapter()
{
    const std::vector<AdapterInfo> adapters = hostSystem().adapters();
    AdapterState state = AdapterMissing;
    for (const AdapterInfo &adapter : adapters) {
        if (!isTapAdapter(adapter))
            continue;
        state = tapAdapterState(adapter);
        if (state == AdapterIdle)
            qWarning().noquote() << QStringLiteral("虚拟网卡未使用");
        else
            qDebug().noquote() << QStringLiteral("虚拟网卡正常使用");
    }
    if (state == AdapterMissing)
        qCritical().noquote() << QStringLiteral("虚拟网卡不存在或禁用");
    return state;
}
