#pragma once

#include "api/platformexchange.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// The catalogue of platform operations: one function per operation, each building its query
// with the platform's key order and literal pieces. Every value is percent-encoded
// (RFC 3986 unreserved characters kept, every other byte of its UTF-8 text as %XX).
namespace Operations {

QByteArray percentEncode(const QString &value);
QByteArray percentEncode(const QByteArray &value);

PlatformRequest getLintraToken(const QString &userName, const QString &passWord);
PlatformRequest tapAuthLogin(const QByteArray &token, const QString &gatewaySn, const QString &passWord,
                             const QString &localip);
PlatformRequest updateTapAuth(const QString &gatewaySn, const QByteArray &token);
PlatformRequest getCustomerInfo(const QByteArray &token, int customerId);
PlatformRequest getConfigParam(const QByteArray &token, const QString &gatewaySn, const QString &passWord);
PlatformRequest getDownload(const QByteArray &token, const QString &gatewaySn);
PlatformRequest clientRestartProject(const QByteArray &token, const QString &gatewaySn);
PlatformRequest gatewayVagueFindPage(const QByteArray &token, const QString &gatewaySn, const QString &gatewayName,
                                     const QString &siteName, int customerId, int index);
PlatformRequest gatewayVagueFindSearch(const QByteArray &token, const QString &gatewaySn, const QString &gatewayName,
                                       const QString &siteName, int customerId);
PlatformRequest getSiteInfo(const QByteArray &token, const QString &gatewaySn);
PlatformRequest devicesListPage(const QByteArray &token, const QString &gatewaySn, int index, int customerId);
PlatformRequest devicesListFirstPage(const QByteArray &token, const QString &gatewaySn, int customerId);
PlatformRequest gatewayBatchFind(const QByteArray &token, const QStringList &gatewaySerials);
PlatformRequest devicesBatchFind(const QByteArray &token, const QStringList &deviceIds);
PlatformRequest updateTunnelAndTapState(const QByteArray &token, const QString &gatewaySn, bool tunnelOnline,
                                        qint64 flowData);
PlatformRequest tunnelAlarmData(const QByteArray &token, const QString &gatewaySn, int warnType);

} // namespace Operations
