#include "sim/replies.h"

namespace sim {

const QByteArray jsonContentType = QByteArrayLiteral("application/json;charset=UTF-8");

namespace {

const char *messageFor(int code)
{
    switch (code) {
    case Success:
        return "操作成功";
    case BadCredentials:
        return "账号或密码错误";
    case StaleToken:
        return "Token已失效";
    case LoggedInElsewhere:
        return "已在别处登录";
    case LoginRefused:
        return "该序列号不能做登录操作";
    case UnknownSerial:
        return "序列号不存在";
    case UnknownRecord:
        return "记录不存在";
    case UnknownOperation:
        return "接口不存在";
    default:
        return "请求失败";
    }
}

} // namespace

void addText(cJSON *object, const char *name, const QString &text)
{
    cJSON_AddStringToObject(object, name, text.toUtf8().constData());
}

JsonPtr codeDocument(int code)
{
    JsonPtr document(cJSON_CreateObject());
    cJSON_AddNumberToObject(document.get(), "code", code);
    cJSON_AddStringToObject(document.get(), "msg", messageFor(code));
    return document;
}

Reply jsonReply(const JsonPtr &document, int httpStatus)
{
    Reply reply;
    reply.httpStatus = httpStatus;
    reply.contentType = jsonContentType;
    if (char *printed = cJSON_PrintUnformatted(document.get())) {
        reply.body = QByteArray(printed);
        cJSON_free(printed);
    }
    return reply;
}

Reply codeReply(int code, int httpStatus)
{
    return jsonReply(codeDocument(code), httpStatus);
}

Reply textReply(const QByteArray &text)
{
    Reply reply;
    reply.contentType = QByteArrayLiteral("text/plain;charset=UTF-8");
    reply.body = text;
    return reply;
}

JsonPtr pageDocument(int size, int count, int index, cJSON *rows)
{
    JsonPtr document = codeDocument(Success);
    cJSON *page = cJSON_AddObjectToObject(document.get(), "page");
    cJSON_AddNumberToObject(page, "size", size);
    cJSON_AddNumberToObject(page, "count", count);
    cJSON_AddNumberToObject(page, "index", index);
    cJSON_AddItemToObject(document.get(), "data", rows);
    return document;
}

PageSlice pageSlice(int count, int size, int index)
{
    if (size < 1 || index < 1 || count <= 0)
        return {};
    const qint64 first = qint64(index - 1) * size;
    if (first >= count)
        return {};
    return {int(first), int(qMin<qint64>(count, first + size))};
}

cJSON *gatewayRow(const Gateway &gateway)
{
    cJSON *row = cJSON_CreateObject();
    addText(row, "gatewaySn", gateway.gatewaySn);
    cJSON_AddNumberToObject(row, "tunnelOnline", gateway.tunnelOnline);
    cJSON_AddNumberToObject(row, "customerId", gateway.customerId);
    addText(row, "gatewayName", gateway.gatewayName);
    cJSON_AddNumberToObject(row, "gatewayOnline", gateway.gatewayOnline);
    addText(row, "siteName", gateway.site.siteName);
    return row;
}

cJSON *deviceRow(const Device &device)
{
    cJSON *row = cJSON_CreateObject();
    cJSON_AddNumberToObject(row, "deviceId", device.deviceId);
    addText(row, "deviceName", device.deviceName);
    cJSON_AddNumberToObject(row, "deviceClassify", device.deviceClassify);
    addText(row, "realIp", device.realIp);
    addText(row, "virtualIp", device.virtualIp);
    cJSON_AddNumberToObject(row, "deviceOnline", device.deviceOnline);
    return row;
}

cJSON *siteRecord(const Gateway &gateway)
{
    const Site &site = gateway.site;
    cJSON *record = cJSON_CreateObject();
    cJSON_AddNumberToObject(record, "siteSort", site.siteSort);
    addText(record, "siteName", site.siteName);
    addText(record, "siteWanIp", site.siteWanIp);
    addText(record, "siteLanIp", site.siteLanIp);
    cJSON_AddNumberToObject(record, "siteEnabled", site.siteEnabled);
    addText(record, "siteAddress", site.siteAddress);
    addText(record, "tunnelAddress1", site.tunnelAddress1);
    addText(record, "createtimes", site.createtimes);
    addText(record, "flowDatas", site.flowDatas);
    cJSON_AddNumberToObject(record, "isVirtuaIp", site.isVirtuaIp);
    addText(record, "updateTimes", site.updateTimes);
    cJSON_AddNumberToObject(record, "tunnelOnline", gateway.tunnelOnline);
    cJSON_AddNumberToObject(record, "gatewayOnline", gateway.gatewayOnline);
    addText(record, "gatewayCsq", site.gatewayCsq);
    cJSON_AddNumberToObject(record, "siteNetType", site.siteNetType);
    return record;
}

} // namespace sim
