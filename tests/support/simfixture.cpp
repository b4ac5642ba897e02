#include "support/simfixture.h"

SimFixture::SimFixture(sim::World world)
    : platform(std::make_unique<sim::PlatformSimulator>(std::move(world), sim::demoServerCertificatePem(),
                                                        sim::demoServerKeyPem())),
      previousEndpoint(platformEndpoint())
{
    running = platform->start(QStringLiteral("127.0.0.1"), 0);
    PlatformEndpoint endpoint;
    endpoint.baseUrl = platform->baseUrl();
    endpoint.caPem = sim::demoCaPem();
    // Short time-outs: a test against a stopped simulator must end quickly.
    endpoint.connectTimeoutMs = 2000;
    endpoint.totalTimeoutMs = 5000;
    installPlatformEndpoint(endpoint);
}

SimFixture::~SimFixture()
{
    installPlatformEndpoint(previousEndpoint);
    platform->stop();
}
