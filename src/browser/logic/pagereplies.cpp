#include "browser/logic/pagereplies.h"

int pageTotal(int count, int pageSize)
{
    if (count <= 0 || pageSize <= 0)
        return 0;
    return count / pageSize + (count % pageSize > 0 ? 1 : 0);
}

std::optional<PageInfo> readPageInfo(const cJSON *root)
{
    const cJSON *page = jsonObjectMember(root, "page");
    const std::optional<int> size = jsonIntMember(page, "size");
    const std::optional<int> count = jsonIntMember(page, "count");
    const std::optional<int> index = jsonIntMember(page, "index");
    if (!size || !count || !index)
        return std::nullopt;
    return PageInfo{*size, *count, *index};
}

namespace {
// The page numbers and the "data" array shared by the list replies; null when the rows are not to be read.
template <typename Page>
const cJSON *readListHead(const cJSON *root, Page &result)
{
    result.page = readPageInfo(root);
    if (!result.page)
        return nullptr;
    const cJSON *data = jsonArrayMember(root, "data");
    if (!data)
        return nullptr;
    result.hasData = true;
    result.dataSize = cJSON_GetArraySize(data);
    return data;
}
} // namespace

GatewayPage readGatewayPage(const cJSON *root)
{
    GatewayPage result;
    const cJSON *data = readListHead(root, result);
    const cJSON *element = nullptr;
    cJSON_ArrayForEach(element, data) {
        const std::optional<QString> serial = jsonStringMember(element, "gatewaySn");
        const std::optional<int> online = jsonIntMember(element, "tunnelOnline");
        const std::optional<int> customer = jsonIntMember(element, "customerId");
        if (!serial || !online || !customer)
            break;
        result.rows.append(GatewayRow{*serial, *online, *customer});
    }
    return result;
}

DevicePage readDevicePage(const cJSON *root)
{
    DevicePage result;
    const cJSON *data = readListHead(root, result);
    if (!data)
        return result;
    const cJSON *element = nullptr;
    cJSON_ArrayForEach(element, data) {
        // One page fills the table; the ids of more would only feed the state refresh.
        if (result.rows.size() == DevicePageSize)
            break;
        DeviceRow row;
        const auto realIp = jsonStringMember(element, "realIp");
        const auto virtualIp = jsonStringMember(element, "virtualIp");
        const auto online = jsonIntMember(element, "deviceOnline");
        const auto name = jsonStringMember(element, "deviceName");
        const auto id = jsonIntMember(element, "deviceId");
        if (!realIp || !virtualIp || !online || !name || !id)
            return result;
        result.deviceIds.append(QString::number(*id));
        const auto classify = jsonIntMember(element, "deviceClassify");
        if (!classify)
            return result;
        result.rows.append(DeviceRow{*realIp, *virtualIp, *online, *name, *id, *classify});
    }
    result.complete = true;
    return result;
}

QString deviceClassText(int deviceClassify)
{
    switch (deviceClassify) {
    case 0: return QStringLiteral("通用");
    case 1: return QStringLiteral("PLC");
    case 2: return QStringLiteral("摄像头");
    case 3: return QStringLiteral("仪表");
    case 4: return QStringLiteral("IO模块");
    case 5: return QStringLiteral("机床");
    case 6: return QStringLiteral("机器人");
    default: return QStringLiteral("未知");
    }
}

QVector<GatewayRow> readGatewayStates(const cJSON *root)
{
    QVector<GatewayRow> rows;
    const cJSON *data = jsonArrayMember(root, "data");
    const cJSON *element = nullptr;
    cJSON_ArrayForEach(element, data) {
        const std::optional<int> online = jsonIntMember(element, "tunnelOnline");
        const std::optional<QString> serial = jsonStringMember(element, "gatewaySn");
        if (!online || !serial)
            break;
        rows.append(GatewayRow{*serial, *online, 0});
    }
    return rows;
}

std::optional<QVector<int>> readDeviceStates(const cJSON *root)
{
    const cJSON *data = jsonArrayMember(root, "data");
    if (!data)
        return std::nullopt;
    QVector<int> states;
    const cJSON *element = nullptr;
    cJSON_ArrayForEach(element, data) {
        const std::optional<int> online = jsonIntMember(element, "deviceOnline");
        if (!online)
            break;
        states.append(*online);
    }
    return states;
}
