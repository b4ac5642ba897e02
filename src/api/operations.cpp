#include "api/operations.h"

namespace Operations {

QByteArray percentEncode(const QString &value)
{
    return percentEncode(value.toUtf8());
}

QByteArray percentEncode(const QByteArray &value)
{
    // Keeps exactly the unreserved set (A-Z a-z 0-9 - . _ ~), upper-case hex for the rest.
    return value.toPercentEncoding();
}

namespace {

QByteArray enc(const QString &value)
{
    return percentEncode(value);
}

QByteArray enc(const QByteArray &value)
{
    return percentEncode(value);
}

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

// Every entry followed by ",", the whole list then encoded as one value.
QByteArray listValue(const QStringList &entries)
{
    QByteArray joined;
    for (const QString &entry : entries) {
        joined += entry.toUtf8();
        joined += ',';
    }
    return percentEncode(joined);
}

PlatformRequest request(const char *operation, const QByteArray &query)
{
    PlatformRequest result;
    result.operation = QByteArray(operation);
    result.query = query;
    return result;
}

} // namespace

PlatformRequest getLintraToken(const QString &userName, const QString &passWord)
{
    return request("getLintraToken", "?userName=" + enc(userName) + "&passWord=" + enc(passWord));
}

PlatformRequest tapAuthLogin(const QByteArray &token, const QString &gatewaySn, const QString &passWord,
                             const QString &localip)
{
    return request("tapAuthLogin", "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn) + "&passWord="
                                       + enc(passWord) + "&size=30&index=1&localip=" + enc(localip));
}

PlatformRequest updateTapAuth(const QString &gatewaySn, const QByteArray &token)
{
    return request("updateTapAuth", "?gatewaySn=" + enc(gatewaySn) + "&token=" + enc(token));
}

PlatformRequest getCustomerInfo(const QByteArray &token, int customerId)
{
    return request("getCustomerInfo", "?token=" + enc(token) + "&customerId=" + number(customerId));
}

PlatformRequest getConfigParam(const QByteArray &token, const QString &gatewaySn, const QString &passWord)
{
    return request("getConfigParam",
                   "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn) + "&passWord=" + enc(passWord));
}

PlatformRequest getDownload(const QByteArray &token, const QString &gatewaySn)
{
    PlatformRequest result = request("getDownload", "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn));
    result.jsonContentType = false;
    return result;
}

PlatformRequest clientRestartProject(const QByteArray &token, const QString &gatewaySn)
{
    return request("clientRestartProject", "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn));
}

PlatformRequest gatewayVagueFindPage(const QByteArray &token, const QString &gatewaySn, const QString &gatewayName,
                                     const QString &siteName, int customerId, int index)
{
    return request("gatewayVagueFind", "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn) + "&gatewayName="
                                           + enc(gatewayName) + "&siteName=" + enc(siteName) + "&customerId="
                                           + number(customerId) + "&size=30" + "&index=" + number(index));
}

PlatformRequest gatewayVagueFindSearch(const QByteArray &token, const QString &gatewaySn, const QString &gatewayName,
                                       const QString &siteName, int customerId)
{
    return request("gatewayVagueFind", "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn) + "&gatewayName="
                                           + enc(gatewayName) + "&siteName=" + enc(siteName) + "&customerId="
                                           + number(customerId) + "&size=30&index=1");
}

PlatformRequest getSiteInfo(const QByteArray &token, const QString &gatewaySn)
{
    return request("getSiteInfo", "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn));
}

PlatformRequest devicesListPage(const QByteArray &token, const QString &gatewaySn, int index, int customerId)
{
    return request("devicesList", "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn) + "&size=25" + "&index="
                                      + number(index) + "&customerId=" + number(customerId));
}

PlatformRequest devicesListFirstPage(const QByteArray &token, const QString &gatewaySn, int customerId)
{
    return request("devicesList", "?token=" + enc(token) + "&index=1&size=25&gatewaySn=" + enc(gatewaySn)
                                      + "&customerId=" + number(customerId));
}

PlatformRequest gatewayBatchFind(const QByteArray &token, const QStringList &gatewaySerials)
{
    return request("gatewayBatchFind", "?token=" + enc(token) + "&gatewaySn=" + listValue(gatewaySerials));
}

PlatformRequest devicesBatchFind(const QByteArray &token, const QStringList &deviceIds)
{
    return request("devicesBatchFind", "?token=" + enc(token) + "&ids=" + listValue(deviceIds));
}

PlatformRequest updateTunnelAndTapState(const QByteArray &token, const QString &gatewaySn, bool tunnelOnline,
                                        qint64 flowData)
{
    return request("updateTunnelAndTapState", "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn)
                                                  + (tunnelOnline ? "&tunnelOnline=1" : "&tunnelOnline=0")
                                                  + "&tapOnline=1" + "&flowData=" + number(flowData));
}

PlatformRequest tunnelAlarmData(const QByteArray &token, const QString &gatewaySn, int warnType)
{
    return request("tunnelAlarmData", "?token=" + enc(token) + "&gatewaySn=" + enc(gatewaySn) + "&warnSort=1"
                                          + "&warnType=" + number(warnType));
}

} // namespace Operations
