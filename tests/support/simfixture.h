#pragma once

#include "api/platformendpoint.h"
#include "sim/platformsimulator.h"

#include <memory>

// A platform simulator on 127.0.0.1 (free port) with the demo PKI, installed as the client's
// platform endpoint for the fixture's life. The previous endpoint comes back on destruction.
class SimFixture {
public:
    explicit SimFixture(sim::World world = sim::demoWorld());
    ~SimFixture();
    SimFixture(const SimFixture &) = delete;
    SimFixture &operator=(const SimFixture &) = delete;

    bool isRunning() const { return running; }
    sim::PlatformSimulator &simulator() { return *platform; }
    sim::PlatformSimulator *operator->() { return platform.get(); }
    QByteArray baseUrl() const { return platform->baseUrl(); }

private:
    std::unique_ptr<sim::PlatformSimulator> platform;
    PlatformEndpoint previousEndpoint;
    bool running = false;
};
