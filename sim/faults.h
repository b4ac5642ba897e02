#pragma once

#include "sim/platformsimulator.h"
#include "sim/replies.h"

#include <QHash>
#include <optional>

// Fault injection: the faults set per operation, each spent request by request, and how a
// fault turns the normal reply into the one sent.
namespace sim {

class FaultBook {
public:
    void set(const QString &operation, const Fault &fault);
    void clear();
    // The fault for this request, counting it against the fault's times.
    std::optional<Fault> take(const QString &operation);

private:
    QHash<QString, Fault> m_faults;
};

// True when the client gets the normal reply (perhaps late or with another HTTP status), so
// the operation's effects on the world stand; otherwise the request leaves the world as it was.
bool keepsEffects(const Fault &fault);

// Forced code, body replacement and HTTP status applied to the normal reply.
Reply applyFault(const Fault &fault, Reply reply);

} // namespace sim
