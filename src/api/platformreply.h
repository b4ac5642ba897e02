#pragma once

#include <QByteArray>
#include <QString>
#include <cjson/cJSON.h>
#include <memory>
#include <optional>

// Owner of a parsed reply document; member lookup ignores letter case (cJSON's object lookup).
class JsonDocument {
public:
    static JsonDocument parse(const QByteArray &bytes);

    bool isValid() const { return root_ != nullptr; }
    const cJSON *root() const { return root_.get(); }

private:
    struct Deleter { void operator()(cJSON *json) const { cJSON_Delete(json); } };
    std::unique_ptr<cJSON, Deleter> root_;
};

// Typed member access. A member of the wrong JSON type reads as missing, so hostile replies
// never turn into plausible values.
const cJSON *jsonMember(const cJSON *object, const char *name);          // any type; null if absent or object is not an object
const cJSON *jsonObjectMember(const cJSON *object, const char *name);    // only an object
const cJSON *jsonArrayMember(const cJSON *object, const char *name);     // only an array
std::optional<int> jsonIntMember(const cJSON *object, const char *name); // only a number (saturated to 32 bits)
std::optional<QString> jsonStringMember(const cJSON *object, const char *name);   // only a string, UTF-8 decoded
std::optional<QByteArray> jsonBytesMember(const cJSON *object, const char *name); // only a string, raw bytes

// The integer member "code" of a reply document, if present.
std::optional<int> replyCode(const JsonDocument &document);

// Reply codes shared by several operations.
namespace ReplyCode {
constexpr int Success = 100;
constexpr int CredentialsRejected = 10001;
constexpr int SessionExpired = 10002;
constexpr int LoggedInElsewhere = 10003;
constexpr int LoginNotAllowed = 10004;
constexpr int SerialUnknown = 10005;
}
