#pragma once

#include "sim/world.h"

#include <QByteArray>
#include <QHash>
#include <QString>

// Everything the simulated platform knows: the world and the session tokens it issued.
namespace sim {

struct Session {
    QString userName;
    int customerId = 0;
    bool valid = true; // false once expired
};

struct SimState {
    World world;
    QHash<QByteArray, Session> sessions; // by token
};

} // namespace sim
