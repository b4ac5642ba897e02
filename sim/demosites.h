#pragma once

#include "sim/world.h"

#include <QStringList>

// Generators of the demo world's gateways: deterministic, so that every run and every test
// sees the same sites.
namespace sim {

// A region of one customer: where its sites are and what they are.
struct DemoRegion {
    int customerId = 0;
    QString serialPrefix;      // "KV2410A" -> KV2410A0001, KV2410A0002, ...
    QString addressPrefix;     // "江苏省苏州市"
    QStringList areaNames;     // as written in site names
    QStringList areaDistricts; // as written in addresses, parallel to areaNames
    QStringList siteKinds;     // "泵站", "污水处理厂", ...
    QStringList streets;
    int lanBase = 0; // third octet offset of the sites' LAN networks
};

// Ordinary gateway number n (1-based) of the region, with its site and devices; device ids
// are taken from nextDeviceId onwards.
Gateway demoGateway(const DemoRegion &region, int n, int &nextDeviceId);

// The gateway whose serial is a TAP's: the center site the TAP's tunnel ends in.
Gateway demoCenterGateway(const QString &serial, int customerId, const QString &siteName, const QString &siteAddress,
                          int siteSort, int virtualNet);

QString chineseNumber(int n); // 1..99 -> "一" .. "九十九"

} // namespace sim
