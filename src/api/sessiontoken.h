#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// Outcome of one token request (getLintraToken), shared by the login, the token re-request and
// the reachability probe.
struct TokenReply {
    bool answered = false;            // the transfer completed (any HTTP status)
    std::optional<int> code;          // reply code, if the body was JSON with a "code"
    std::optional<QByteArray> token;  // data.token, if present as a string
    QString failure;                  // libcurl's reason when the transfer failed
};

TokenReply requestToken(const QString &userName, const QString &passWord);

// The reachability latch: the first answered probe after a failed one reloads gateway page 1.
struct ProbeDecision {
    bool reachable = true;
    bool reloadFirstPage = false;
    bool reRequestToken = false;
};
ProbeDecision judgeProbe(const TokenReply &reply, int &wasReachable);
