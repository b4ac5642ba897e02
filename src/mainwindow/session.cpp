// The session token's re-request and the reachability probe.
#include "mainwindow/mainwindow.h"

#include "api/sessiontoken.h"
#include "api/platformreply.h"

void MainWindow::reRequestToken()
{
    const TokenReply reply = requestToken(userName, userPassword);
    if (reply.code == ReplyCode::Success && reply.token)
        sessionToken = *reply.token;
}

void MainWindow::probeReachability()
{
    const ProbeDecision decision = judgeProbe(requestToken(userName, userPassword), wasReachable);
    platformReachable = decision.reachable;
    if (decision.reloadFirstPage)
        loadGatewayPage(1);
    if (decision.reRequestToken)
        reRequestToken();
}
