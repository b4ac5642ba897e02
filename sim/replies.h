#pragma once

#include "sim/world.h"

#include <QByteArray>
#include <cjson/cJSON.h>
#include <memory>

// The platform's replies, built with cJSON: the code/msg frame, the page frame and the records
// (gateway rows, device rows, the site record) with the members and JSON types the client reads.
namespace sim {

struct JsonDeleter {
    void operator()(cJSON *json) const { cJSON_Delete(json); }
};
using JsonPtr = std::unique_ptr<cJSON, JsonDeleter>;

struct Reply {
    int httpStatus = 200;
    QByteArray contentType;
    QByteArray body;
};

enum ReplyCode {
    Success = 100,
    BadCredentials = 10001,
    StaleToken = 10002,
    LoggedInElsewhere = 10003,
    LoginRefused = 10004,
    UnknownSerial = 10005,
    UnknownRecord = 10006,
    UnknownOperation = 404,
};

extern const QByteArray jsonContentType;

JsonPtr codeDocument(int code); // {"code":..,"msg":..}
Reply jsonReply(const JsonPtr &document, int httpStatus = 200);
Reply codeReply(int code, int httpStatus = 200);
Reply textReply(const QByteArray &text);

// {"code":100,"msg":..,"page":{"size","count","index"},"data":rows}; takes rows over.
JsonPtr pageDocument(int size, int count, int index, cJSON *rows);

// The half-open range [first, last) of rows on page index (1-based) of size rows; empty when
// the page does not exist.
struct PageSlice {
    int first = 0;
    int last = 0;
};
PageSlice pageSlice(int count, int size, int index);

void addText(cJSON *object, const char *name, const QString &text);
cJSON *gatewayRow(const Gateway &gateway);
cJSON *deviceRow(const Device &device);
cJSON *siteRecord(const Gateway &gateway);

} // namespace sim
