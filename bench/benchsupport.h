#pragma once

#include "api/platformendpoint.h"
#include "sim/platformsimulator.h"
#include "ui/resources.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

// Small pieces every benchmark program shares.
namespace bench {

// Linear interpolation between the two nearest ranks; p = 0.5 is the median.
inline double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double rank = p * static_cast<double>(n - 1);
    const size_t low = static_cast<size_t>(rank);
    const size_t high = std::min(low + 1, n - 1);
    return values[low] + (values[high] - values[low]) * (rank - static_cast<double>(low));
}

// Before the application object: GUI benchmarks run offscreen unless told otherwise.
inline void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The client's diagnostics (a line per meter step and so on) would drown the table.
inline void silenceClientLog()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

// The main window reads TAPBOUND.ini from the working directory: give it an empty one.
inline bool enterTemporaryDirectory(const QTemporaryDir &directory)
{
    if (directory.isValid() && QDir::setCurrent(directory.path()))
        return true;
    std::fprintf(stderr, "cannot enter a temporary directory\n");
    return false;
}

// The count given as the first argument, at least minimum, or fallback when none is given.
inline int countArgument(int argc, char **argv, int fallback, int minimum)
{
    return argc > 1 ? std::max(minimum, std::atoi(argv[1])) : fallback;
}

// Starts the simulator with the demo world on a free loopback port and points the client at it.
inline bool startDemoPlatform(sim::PlatformSimulator &platform)
{
    if (!platform.start(QStringLiteral("127.0.0.1"), 0)) {
        std::fprintf(stderr, "the simulator did not start\n");
        return false;
    }
    PlatformEndpoint endpoint;
    endpoint.baseUrl = platform.baseUrl();
    endpoint.caPem = sim::demoCaPem();
    installPlatformEndpoint(endpoint);
    return true;
}

struct OffscreenFirst {
    OffscreenFirst() { preferOffscreen(); }
};

// A GUI benchmark's surroundings: an (offscreen) application with the client's pictures, a silenced
// client log and an empty working directory for as long as it lives.
class GuiBench : private OffscreenFirst {
public:
    GuiBench(int &argc, char **argv) : application(argc, argv)
    {
        initKorvaneResources();
        silenceClientLog();
        ready = enterTemporaryDirectory(workDir);
    }
    bool ready = false;

private:
    QApplication application;
    QTemporaryDir workDir;
};

} // namespace bench
