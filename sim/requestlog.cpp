#include "sim/requestlog.h"

#include "sim/querystring.h"

namespace sim {

namespace {

bool isPeerPseudoHeader(const std::string &name)
{
    return name == "REMOTE_ADDR" || name == "REMOTE_PORT" || name == "LOCAL_ADDR" || name == "LOCAL_PORT";
}

QByteArray bytes(const std::string &text)
{
    return QByteArray(text.data(), int(text.size()));
}

} // namespace

QString RecordedRequest::value(const QString &key) const
{
    for (const auto &pair : query) {
        if (pair.first == key)
            return pair.second;
    }
    return QString();
}

RecordedRequest recordRequest(const httplib::Request &request, const QString &operation)
{
    RecordedRequest record;
    record.operation = operation;
    record.method = bytes(request.method);
    const std::size_t mark = request.target.find('?');
    if (mark != std::string::npos)
        record.rawQuery = bytes(request.target.substr(mark + 1));
    record.query = parseQuery(record.rawQuery);
    for (const auto &header : request.headers) {
        if (!isPeerPseudoHeader(header.first))
            record.headers.append(qMakePair(bytes(header.first), bytes(header.second)));
    }
    record.body = bytes(request.body);
    return record;
}

} // namespace sim
