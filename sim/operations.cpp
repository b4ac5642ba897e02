#include "sim/operations.h"

#include <QHash>

namespace sim {

namespace {

using Handler = Reply (*)(SimState &, const Session &, const RecordedRequest &);

const QHash<QString, Handler> &handlers()
{
    static const QHash<QString, Handler> table{
        {QStringLiteral("tapAuthLogin"), &tapAuthLogin},
        {QStringLiteral("updateTapAuth"), &updateTapAuth},
        {QStringLiteral("getCustomerInfo"), &getCustomerInfo},
        {QStringLiteral("getConfigParam"), &getConfigParam},
        {QStringLiteral("getDownload"), &getDownload},
        {QStringLiteral("clientRestartProject"), &clientRestartProject},
        {QStringLiteral("gatewayVagueFind"), &gatewayVagueFind},
        {QStringLiteral("getSiteInfo"), &getSiteInfo},
        {QStringLiteral("devicesList"), &devicesList},
        {QStringLiteral("gatewayBatchFind"), &gatewayBatchFind},
        {QStringLiteral("devicesBatchFind"), &devicesBatchFind},
        {QStringLiteral("updateTunnelAndTapState"), &updateTunnelAndTapState},
        {QStringLiteral("tunnelAlarmData"), &tunnelAlarmData},
    };
    return table;
}

} // namespace

int intValue(const RecordedRequest &request, const QString &key, int fallback)
{
    bool ok = false;
    const int value = request.value(key).trimmed().toInt(&ok);
    return ok ? value : fallback;
}

Reply runOperation(SimState &state, const RecordedRequest &request)
{
    if (request.operation == QLatin1String("getLintraToken"))
        return getLintraToken(state, request);
    const Handler handler = handlers().value(request.operation, nullptr);
    if (!handler)
        return codeReply(UnknownOperation, 404);
    const auto session = state.sessions.constFind(request.value(QStringLiteral("token")).toUtf8());
    if (session == state.sessions.constEnd() || !session->valid)
        return codeReply(StaleToken);
    const Session current = *session; // the handler may touch the session table
    return handler(state, current, request);
}

} // namespace sim
