#pragma once

#include "sim/platformsimulator.h"

#include <httplib.h>

namespace sim {

// The request as the client sent it: operation, method, the raw and the decoded query, the
// headers (without the pseudo headers cpp-httplib adds for the peer) and the body.
RecordedRequest recordRequest(const httplib::Request &request, const QString &operation);

} // namespace sim
