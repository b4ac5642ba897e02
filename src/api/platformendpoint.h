#pragma once

#include <QByteArray>

// Where the platform lives and whom to trust. The production values are fixed at build time;
// tests install their own (a local simulator with its own CA, short time-outs).
struct PlatformEndpoint {
    QByteArray baseUrl;          // scheme, host and port, without a trailing slash
    QByteArray caPem;            // PEM of the CA that must sign the server's certificate; empty: system trust store
    long connectTimeoutMs = 10000;
    long totalTimeoutMs = 30000;
};

// The endpoint every platform exchange uses.
const PlatformEndpoint &platformEndpoint();

// Replaces the process-wide endpoint (tests only).
void installPlatformEndpoint(const PlatformEndpoint &endpoint);

// The endpoint the build was configured with.
PlatformEndpoint builtInPlatformEndpoint();
