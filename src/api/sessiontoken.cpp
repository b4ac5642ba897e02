#include "api/sessiontoken.h"

#include "api/operations.h"
#include "api/platformexchange.h"
#include "api/platformreply.h"

TokenReply requestToken(const QString &userName, const QString &passWord)
{
    TokenReply reply;
    const std::optional<QByteArray> body = platformExchange(Operations::getLintraToken(userName, passWord), &reply.failure);
    if (!body)
        return reply;
    reply.answered = true;

    const JsonDocument document = JsonDocument::parse(*body);
    reply.code = replyCode(document);
    reply.token = jsonBytesMember(jsonObjectMember(document.root(), "data"), "token");
    return reply;
}

ProbeDecision judgeProbe(const TokenReply &reply, int &wasReachable)
{
    ProbeDecision decision;
    if (!reply.answered) {
        decision.reachable = false;
        wasReachable = 0;
        return decision;
    }
    decision.reachable = true;
    if (wasReachable == 0) {
        decision.reloadFirstPage = true;
        wasReachable = 1;
    }
    decision.reRequestToken = reply.code == ReplyCode::SessionExpired;
    return decision;
}
