#pragma once

#include "sim/world.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <memory>

// The field devices of the demo: one plain HTTP listener that answers for every device of the
// world at the device's virtual address (the address the connection came in on), with a page
// naming the device and showing live values. Runs inside the demo's far-end namespace, where the
// field networks are local addresses.
namespace sim {

// The page of the device at address, or a short "no device" page; `started` is when the field
// network came up (the counter runs from there), `requests` how often this device was asked.
struct DevicePage {
    int httpStatus = 200;
    QByteArray html;
};
DevicePage devicePage(const World &world, const QString &address, const QDateTime &started, const QDateTime &now,
                      int requests);

class DevicePageServer {
public:
    explicit DevicePageServer(World world);
    ~DevicePageServer();

    // Listens on host:port (port 0: any free one) on a background thread.
    bool start(const QString &host, int port);
    void stop();
    int port() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace sim
