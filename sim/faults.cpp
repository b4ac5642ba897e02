#include "sim/faults.h"

namespace sim {

namespace {

const QByteArray gatewayErrorPage = QByteArrayLiteral(
    "<html>\r\n<head><title>502 Bad Gateway</title></head>\r\n<body>\r\n<center><h1>502 Bad Gateway</h1></center>\r\n"
    "<hr><center>nginx</center>\r\n</body>\r\n</html>\r\n");

// The reply with its "code" replaced; a reply that is not a JSON object becomes {"code":..}.
Reply withCode(Reply reply, int code)
{
    JsonPtr document(cJSON_ParseWithLength(reply.body.constData(), size_t(reply.body.size())));
    if (!document || !cJSON_IsObject(document.get()))
        return codeReply(code, reply.httpStatus);
    cJSON *number = cJSON_CreateNumber(code);
    if (cJSON_GetObjectItemCaseSensitive(document.get(), "code"))
        cJSON_ReplaceItemInObjectCaseSensitive(document.get(), "code", number);
    else
        cJSON_AddItemToObject(document.get(), "code", number);
    return jsonReply(document, reply.httpStatus);
}

} // namespace

void FaultBook::set(const QString &operation, const Fault &fault)
{
    if (fault.times == 0)
        m_faults.remove(operation);
    else
        m_faults.insert(operation, fault);
}

void FaultBook::clear()
{
    m_faults.clear();
}

std::optional<Fault> FaultBook::take(const QString &operation)
{
    auto it = m_faults.find(operation);
    if (it == m_faults.end())
        return std::nullopt;
    const Fault fault = *it;
    if (it->times > 0 && --it->times == 0)
        m_faults.erase(it);
    return fault;
}

bool keepsEffects(const Fault &fault)
{
    return !fault.dropConnection && !fault.code && fault.body == Fault::Body::Normal;
}

Reply applyFault(const Fault &fault, Reply reply)
{
    if (fault.code)
        reply = withCode(reply, *fault.code);
    switch (fault.body) {
    case Fault::Body::Normal:
        break;
    case Fault::Body::NotJson:
        reply.contentType = QByteArrayLiteral("text/html");
        reply.body = gatewayErrorPage;
        break;
    case Fault::Body::Truncated:
        reply.body.truncate(reply.body.size() / 2);
        break;
    case Fault::Body::Custom:
        reply.body = fault.customBody;
        break;
    }
    if (fault.httpStatus)
        reply.httpStatus = *fault.httpStatus;
    return reply;
}

} // namespace sim
