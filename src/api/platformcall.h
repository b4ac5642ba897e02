#pragma once

#include "api/platformexchange.h"
#include "api/platformreply.h"

#include <QByteArray>
#include <QString>
#include <optional>

// One platform operation with its reply read as far as every caller needs it: whether the
// transfer completed, whether the body is JSON, and its reply code.
struct PlatformReply {
    std::optional<QByteArray> body;   // none: the transfer failed
    JsonDocument document;            // invalid unless the body is JSON
    std::optional<int> code;          // the member "code", if present
    QString failure;                  // libcurl's reason when the transfer failed

    bool answered() const { return body.has_value(); }
    bool isJson() const { return document.isValid(); }
    bool succeeded() const { return code == ReplyCode::Success; }
};

PlatformReply callPlatform(const PlatformRequest &request);
