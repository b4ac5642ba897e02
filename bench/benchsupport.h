#pragma once

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

#include <algorithm>
#include <cstdio>
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

} // namespace bench
