#pragma once

#include "api/platformreply.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <optional>

// Widget-free reading of the list replies the browser shows. Every reader stops at the first
// element that lacks a member it needs (or has it with the wrong JSON type): the rows before it
// are kept, the rest are not shown.

constexpr int GatewayPageSize = 30;
constexpr int DevicePageSize = 25;

// Number of pages for `count` entries: whole pages plus one for a remainder (never negative).
int pageTotal(int count, int pageSize);

// The "page" member with its three numbers; nullopt when any of them is missing.
struct PageInfo {
    int size = 0;
    int count = 0;
    int index = 0;
};
std::optional<PageInfo> readPageInfo(const cJSON *root);

struct GatewayRow {
    QString gatewaySn;
    int tunnelOnline = 0;
    int customerId = 0;
};

// A gateway page reply (gatewayVagueFind, or a successful tapAuthLogin).
struct GatewayPage {
    std::optional<PageInfo> page;   // nullopt: the rows were not read
    bool hasData = false;           // "data" is an array
    int dataSize = 0;               // elements in "data"
    QVector<GatewayRow> rows;       // up to the first incomplete element
};
GatewayPage readGatewayPage(const cJSON *root);

struct DeviceRow {
    QString realIp;
    QString virtualIp;
    int deviceOnline = 0;
    QString deviceName;
    int deviceId = 0;
    int deviceClassify = 0;
};

// A device page reply (devicesList).
struct DevicePage {
    std::optional<PageInfo> page;
    bool hasData = false;
    int dataSize = 0;
    QVector<DeviceRow> rows;        // the complete rows, in table order, at most a page
    QStringList deviceIds;          // may hold one more id than rows: an element that lacked only its class
    bool complete = false;          // every element was read, or a page of them
};
DevicePage readDevicePage(const cJSON *root);

// Text of a device class in the table; an unknown class has a text of its own.
QString deviceClassText(int deviceClassify);

// gatewayBatchFind: serial and tunnel state of each gateway, up to the first incomplete element.
QVector<GatewayRow> readGatewayStates(const cJSON *root);

// devicesBatchFind: the online flag of element i (table row i), up to the first element without it;
// nullopt when "data" is not an array.
std::optional<QVector<int>> readDeviceStates(const cJSON *root);
