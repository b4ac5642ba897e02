#pragma once

#include "tunnel/logic/tunnelobserver.h"

#include <QString>
#include <optional>

// A desktop notification about the tunnel: a short summary and one sentence. Built only from the
// event and the TAP serial, so no password or token can reach the desktop.
struct TunnelNotice {
    QString summary;
    QString body;
};

// The notice for an event worth interrupting the user for; nullopt for the others.
std::optional<TunnelNotice> tunnelNoticeFor(TunnelEvent event, const TunnelStatus &status);
