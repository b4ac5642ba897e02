#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// One platform operation as the catalogue builds it: the operation name and its query
// ("?key=value&..."), already encoded.
struct PlatformRequest {
    QByteArray operation;
    QByteArray query;
    bool jsonContentType = true;   // false: no header list, so libcurl's default type for an empty POST

    QByteArray url(const QByteArray &baseUrl) const { return baseUrl + "/lintraApi/" + operation + query; }
};

// Replies are one page of at most 30 gateways or 25 devices, or a certificate: a few kilobytes.
// A longer body is no platform reply, and parsing one costs far more memory than its size.
constexpr qsizetype MaxReplyBytes = 1024 * 1024;

// One HTTPS exchange: POST with an empty body, certificate and host name verified against the
// configured CA, connect and overall time-outs. Synchronous for the caller; the transfer itself runs
// on a worker thread while the caller's event loop keeps turning (api/exchangewait.h). Yields the
// reply body whatever the HTTP status, or nothing when the transfer failed (including a TLS failure,
// a time-out, a body longer than MaxReplyBytes, or the application quitting meanwhile); failure,
// when given, then receives libcurl's reason.
std::optional<QByteArray> platformExchange(const PlatformRequest &request, QString *failure = nullptr);

// Called with true when an exchange begins and with false when it ends, on every path, on the
// caller's thread; exchanges nest (a handler run while one waits may start another), and so do the
// calls. The windows show their busy cursor and take no input meanwhile. Returns the hook it replaces.
using ExchangeActivityHook = void (*)(bool busy);
ExchangeActivityHook installExchangeActivityHook(ExchangeActivityHook hook);
