#include "api/platformreply.h"

#include <cmath>
#include <limits>

JsonDocument JsonDocument::parse(const QByteArray &bytes)
{
    JsonDocument document;
    if (bytes.isEmpty())
        return document;

    const char *end = nullptr;
    cJSON *root = cJSON_ParseWithLengthOpts(bytes.constData(), static_cast<size_t>(bytes.size()), &end, false);
    if (!root)
        return document;
    document.root_.reset(root);

    // The whole body must be one JSON value: only white space may follow it.
    const char *const bodyEnd = bytes.constData() + bytes.size();
    for (const char *p = end; p && p < bodyEnd; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n') {
            document.root_.reset();
            break;
        }
    }
    return document;
}

const cJSON *jsonMember(const cJSON *object, const char *name)
{
    if (!cJSON_IsObject(object) || !name)
        return nullptr;
    return cJSON_GetObjectItem(object, name);
}

const cJSON *jsonObjectMember(const cJSON *object, const char *name)
{
    const cJSON *member = jsonMember(object, name);
    return cJSON_IsObject(member) ? member : nullptr;
}

const cJSON *jsonArrayMember(const cJSON *object, const char *name)
{
    const cJSON *member = jsonMember(object, name);
    return cJSON_IsArray(member) ? member : nullptr;
}

std::optional<int> jsonIntMember(const cJSON *object, const char *name)
{
    const cJSON *member = jsonMember(object, name);
    if (!cJSON_IsNumber(member))
        return std::nullopt;
    // Read the double, not valueint, so the saturation does not depend on the cJSON version.
    const double value = member->valuedouble;
    if (std::isnan(value))
        return std::nullopt;
    if (value >= static_cast<double>(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (value <= static_cast<double>(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

std::optional<QString> jsonStringMember(const cJSON *object, const char *name)
{
    const std::optional<QByteArray> bytes = jsonBytesMember(object, name);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

std::optional<QByteArray> jsonBytesMember(const cJSON *object, const char *name)
{
    const cJSON *member = jsonMember(object, name);
    if (!cJSON_IsString(member) || !member->valuestring)
        return std::nullopt;
    return QByteArray(member->valuestring);
}

std::optional<int> replyCode(const JsonDocument &document)
{
    return jsonIntMember(document.root(), "code");
}
