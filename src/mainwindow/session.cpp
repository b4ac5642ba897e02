// The session token's re-request and the reachability probe.
#include "mainwindow/mainwindow.h"

#include "api/platformcall.h"
#include "api/sessiontoken.h"
#include "api/platformreply.h"

bool MainWindow::reRequestToken()
{
    const TokenReply reply = requestToken(userName, userPassword);
    if (reply.code != ReplyCode::Success || !reply.token)
        return false;
    sessionToken = *reply.token;
    return true;
}

PlatformReply MainWindow::callInSession(const std::function<PlatformRequest(const QByteArray &token)> &build)
{
    PlatformReply reply = callPlatform(build(sessionToken));
    // A platform restarted since the login knows no token of before: one renewal, one more try.
    if (reply.code == ReplyCode::SessionExpired && reRequestToken())
        reply = callPlatform(build(sessionToken));
    return reply;
}

void MainWindow::probeReachability()
{
    const TokenReply reply = requestToken(userName, userPassword);
    platformSilence.answered(reply.answered, reply.failure);
    const ProbeDecision decision = judgeProbe(reply, wasReachable);
    platformReachable = decision.reachable;
    if (decision.reloadFirstPage)
        loadGatewayPage(1);
    if (decision.reRequestToken)
        reRequestToken();
}
