#pragma once

#include <QString>

// Where the tunnel program opens its management interface. Fixed for the client; tests move it
// to a port of their own so that they can run side by side.
struct ManagementEndpoint {
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 25341;
};

ManagementEndpoint managementEndpoint();
void setManagementEndpoint(const ManagementEndpoint &endpoint);
