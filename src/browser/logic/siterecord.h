#pragma once

#include "api/platformreply.h"

#include <QString>
#include <QVector>
#include <optional>

// The site record of getSiteInfo, read in the order the details panel fills its labels. The
// reading stops at the first member that is missing (or of the wrong JSON type); the labels of
// the members after it keep what they showed.
struct SiteValue {
    enum Member {
        SiteName, SiteWanIp, SiteLanIp, SiteEnabled, SiteAddress, TunnelAddress1, CreateTimes, FlowDatas,
        IsVirtuaIp, UpdateTimes, TunnelOnline, GatewayOnline, GatewayCsq, SiteNetType
    };
    Member member;
    QString text;    // text members
    int number = 0;  // integer members
};

struct SiteRecord {
    bool centerSite = false;      // siteSort non-zero
    QVector<SiteValue> values;    // in filling order, up to the first missing member
};

// nullopt when "data" or "data"."siteSort" is missing.
std::optional<SiteRecord> readSiteRecord(const cJSON *root);

// Texts of the panel.
QString siteEnabledText(int siteEnabled);                 // "是" for 1, otherwise "否"
std::optional<QString> siteNetTypeText(int siteNetType);  // nullopt: the label keeps its text
