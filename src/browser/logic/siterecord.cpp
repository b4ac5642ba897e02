#include "browser/logic/siterecord.h"

namespace {

struct MemberRule {
    SiteValue::Member member;
    const char *name;
    bool integer;
};

// Filling order of an ordinary site; a center site has no LAN segment and no signal value.
constexpr MemberRule kMembers[] = {
    {SiteValue::SiteName, "siteName", false},       {SiteValue::SiteWanIp, "siteWanIp", false},
    {SiteValue::SiteLanIp, "siteLanIp", false},     {SiteValue::SiteEnabled, "siteEnabled", true},
    {SiteValue::SiteAddress, "siteAddress", false}, {SiteValue::TunnelAddress1, "tunnelAddress1", false},
    {SiteValue::CreateTimes, "createtimes", false}, {SiteValue::FlowDatas, "flowDatas", false},
    {SiteValue::IsVirtuaIp, "isVirtuaIp", true},    {SiteValue::UpdateTimes, "updateTimes", false},
    {SiteValue::TunnelOnline, "tunnelOnline", true}, {SiteValue::GatewayOnline, "gatewayOnline", true},
    {SiteValue::GatewayCsq, "gatewayCsq", false},   {SiteValue::SiteNetType, "siteNetType", true},
};

bool readByCenterSite(SiteValue::Member member)
{
    return member != SiteValue::SiteLanIp && member != SiteValue::GatewayCsq;
}

} // namespace

std::optional<SiteRecord> readSiteRecord(const cJSON *root)
{
    const cJSON *data = jsonObjectMember(root, "data");
    const std::optional<int> siteSort = jsonIntMember(data, "siteSort");
    if (!siteSort)
        return std::nullopt;

    SiteRecord record;
    record.centerSite = *siteSort != 0;
    for (const MemberRule &rule : kMembers) {
        if (record.centerSite && !readByCenterSite(rule.member))
            continue;
        SiteValue value{rule.member, QString(), 0};
        if (rule.integer) {
            const std::optional<int> number = jsonIntMember(data, rule.name);
            if (!number)
                break;
            value.number = *number;
        } else {
            const std::optional<QString> text = jsonStringMember(data, rule.name);
            if (!text)
                break;
            value.text = *text;
        }
        record.values.append(value);
    }
    return record;
}

QString siteEnabledText(int siteEnabled)
{
    return siteEnabled == 1 ? QStringLiteral("是") : QStringLiteral("否");
}

std::optional<QString> siteNetTypeText(int siteNetType)
{
    switch (siteNetType) {
    case 0: return QStringLiteral("5G");
    case 1: return QStringLiteral("4G");
    case 2: return QStringLiteral("3G");
    case 3: return QStringLiteral("WiFi");
    case 4: return QStringLiteral("有线");
    default: return std::nullopt;
    }
}
