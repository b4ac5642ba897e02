#pragma once

#include "sim/platformsimulator.h"
#include "sim/replies.h"
#include "sim/simstate.h"

// The 14 platform operations. Each reads its arguments from the decoded query, acts on the
// state and answers as the platform does; an unknown operation gets HTTP 404 with code 404.
namespace sim {

Reply runOperation(SimState &state, const RecordedRequest &request);

// Handlers, grouped by concern (operations_session.cpp, operations_browse.cpp,
// operations_report.cpp). The session check has already passed for all but getLintraToken.
Reply getLintraToken(SimState &state, const RecordedRequest &request);
Reply tapAuthLogin(SimState &state, const Session &session, const RecordedRequest &request);
Reply updateTapAuth(SimState &state, const Session &session, const RecordedRequest &request);
Reply getCustomerInfo(SimState &state, const Session &session, const RecordedRequest &request);
Reply getConfigParam(SimState &state, const Session &session, const RecordedRequest &request);
Reply getDownload(SimState &state, const Session &session, const RecordedRequest &request);
Reply clientRestartProject(SimState &state, const Session &session, const RecordedRequest &request);
Reply gatewayVagueFind(SimState &state, const Session &session, const RecordedRequest &request);
Reply getSiteInfo(SimState &state, const Session &session, const RecordedRequest &request);
Reply devicesList(SimState &state, const Session &session, const RecordedRequest &request);
Reply gatewayBatchFind(SimState &state, const Session &session, const RecordedRequest &request);
Reply devicesBatchFind(SimState &state, const Session &session, const RecordedRequest &request);
Reply updateTunnelAndTapState(SimState &state, const Session &session, const RecordedRequest &request);
Reply tunnelAlarmData(SimState &state, const Session &session, const RecordedRequest &request);

// Shared by the handlers.
int intValue(const RecordedRequest &request, const QString &key, int fallback);
Reply gatewayPage(const World &world, int customerId, const QString &serialPart, const QString &namePart,
                  const QString &sitePart, int size, int index);

} // namespace sim
