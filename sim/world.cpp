#include "sim/world.h"

namespace sim {

namespace {

template <typename T, typename Pred> T *findIn(QVector<T> &items, Pred pred)
{
    for (T &item : items) {
        if (pred(item))
            return &item;
    }
    return nullptr;
}

} // namespace

Account *World::findAccount(const QString &userName)
{
    return findIn(accounts, [&](const Account &a) { return a.userName == userName; });
}

Customer *World::findCustomer(int customerId)
{
    return findIn(customers, [&](const Customer &c) { return c.customerId == customerId; });
}

Tap *World::findTap(const QString &serial)
{
    return findIn(taps, [&](const Tap &t) { return t.serial == serial; });
}

Gateway *World::findGateway(const QString &gatewaySn)
{
    return findIn(gateways, [&](const Gateway &g) { return g.gatewaySn == gatewaySn; });
}

Device *World::findDevice(int deviceId)
{
    for (Gateway &gateway : gateways) {
        if (Device *device = findIn(gateway.devices, [&](const Device &d) { return d.deviceId == deviceId; }))
            return device;
    }
    return nullptr;
}

} // namespace sim
