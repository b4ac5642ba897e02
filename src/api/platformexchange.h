#pragma once

#include <QByteArray>
#include <optional>

// One platform operation as the catalogue builds it: the operation name and its query
// ("?key=value&..."), already encoded.
struct PlatformRequest {
    QByteArray operation;
    QByteArray query;
    bool jsonContentType = true;   // the certificate download goes without the header

    QByteArray url(const QByteArray &baseUrl) const { return baseUrl + "/lintraApi/" + operation + query; }
};

// One synchronous HTTPS exchange: POST with an empty body, certificate and host name verified
// against the configured CA, connect and overall time-outs. Yields the reply body whatever the
// HTTP status, or nothing when the transfer failed (including a TLS failure or a time-out).
std::optional<QByteArray> platformExchange(const PlatformRequest &request);
