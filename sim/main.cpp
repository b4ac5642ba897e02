// korvane-platform-sim: the platform simulator with the demo world, for the demo and the
// end-to-end tests. Runs until SIGINT or SIGTERM. With --far-end it also serves the demo's far end
// (scripts/demo-far-end): the field devices' pages, the tunnel users' check and the address layout.
#include "sim/callline.h"
#include "sim/demofarend.h"
#include "sim/devicepages.h"
#include "sim/platformsimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <pthread.h>

namespace {

bool readFile(const QString &path, QByteArray &contents)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    contents = file.readAll();
    return true;
}

void printDemoAccounts(QTextStream &out, const sim::World &world, const QByteArray &baseUrl)
{
    out << "Korvane platform simulator (demo world) on " << QString::fromUtf8(baseUrl) << "\n\n";
    for (const sim::Account &account : world.accounts) {
        QString customerName;
        for (const sim::Customer &customer : world.customers) {
            if (customer.customerId == account.customerId)
                customerName = customer.name + (customer.enabled ? QString() : QStringLiteral(" (项目未开启)"));
        }
        out << "account " << account.userName << "  password \"" << account.passWord << "\"  customer "
            << account.customerId << ' ' << customerName << '\n';
        for (const sim::Tap &tap : world.taps) {
            if (tap.customerId != account.customerId)
                continue;
            out << "    TAP " << tap.serial << "  password \"" << tap.passWord << '"';
            if (!tap.loginAllowed)
                out << "  (login not allowed: 10004)";
            else if (!tap.boundFingerprint.isEmpty())
                out << "  (bound on another PC: 10003)";
            out << '\n';
        }
    }
    out << "\nStop with Ctrl+C.\n";
    out.flush();
}

// OpenVPN's via-file: user name and password on two lines.
int checkTapLogin(const sim::World &world, const QString &path)
{
    QByteArray contents;
    if (!readFile(path, contents))
        return 1;
    const QList<QByteArray> lines = contents.split('\n');
    return lines.size() >= 2 && sim::isTapLogin(world, lines.at(0), lines.at(1)) ? 0 : 1;
}

void printCall(const sim::RecordedRequest &request, int httpStatus, const QByteArray &body)
{
    static std::mutex console;
    const QByteArray line = (QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss  ")) +
                             sim::callLine(request, httpStatus, body))
                                .toUtf8() +
                            '\n';
    std::lock_guard<std::mutex> guard(console);
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
    std::fflush(stdout);
}

void blockStopSignals(sigset_t &stopSignals)
{
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGUSR1);
    sigaddset(&stopSignals, SIGUSR2);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("korvane-platform-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("HTTPS simulator of the Korvane platform with a demo world."));
    parser.addHelpOption();
    const QCommandLineOption hostOption(QStringLiteral("host"), QStringLiteral("Address to listen on."),
                                        QStringLiteral("address"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("Port to listen on (0: any free)."),
                                        QStringLiteral("port"), QStringLiteral("8443"));
    const QCommandLineOption certOption(QStringLiteral("cert"),
                                        QStringLiteral("PEM server certificate (chain); default: the demo one."),
                                        QStringLiteral("file"));
    const QCommandLineOption keyOption(QStringLiteral("key"), QStringLiteral("PEM private key of the certificate."),
                                       QStringLiteral("file"));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("Do not print the demo accounts nor the calls."));
    const QCommandLineOption farEndOption(
        QStringLiteral("far-end"), QStringLiteral("The demo's far end on this /16 (a.b.0.0/16): tunnels and devices."),
        QStringLiteral("network"));
    const QCommandLineOption layoutOption(QStringLiteral("far-end-layout"),
                                          QStringLiteral("Print the far end's addresses as shell assignments."));
    const QCommandLineOption devicesOption(QStringLiteral("device-pages"),
                                           QStringLiteral("Serve the field devices' pages (plain HTTP) instead."));
    const QCommandLineOption checkTapOption(QStringLiteral("check-tap"),
                                            QStringLiteral("Exit 0 when the file's two lines are a TAP's login."),
                                            QStringLiteral("file"));
    const QCommandLineOption frozenOption(
        QStringLiteral("frozen"),
        QStringLiteral("Start frozen: accept connections, never answer. SIGUSR1 freezes, SIGUSR2 thaws."));
    parser.addOptions(
        {hostOption, portOption, certOption, keyOption, quietOption, farEndOption, layoutOption, devicesOption,
         checkTapOption, frozenOption});
    parser.process(app);

    QTextStream err(stderr);
    sim::World world = sim::demoWorld();
    if (parser.isSet(checkTapOption))
        return checkTapLogin(world, parser.value(checkTapOption));
    std::optional<sim::FarEnd> farEnd;
    if (parser.isSet(farEndOption)) {
        farEnd = sim::parseFarEnd(parser.value(farEndOption));
        if (!farEnd) {
            err << "invalid --far-end: " << parser.value(farEndOption) << " (expected a.b.0.0/16)\n";
            return 2;
        }
        sim::joinFarEnd(world, *farEnd);
    }
    if ((parser.isSet(layoutOption) || parser.isSet(devicesOption)) && !farEnd) {
        err << "--far-end-layout and --device-pages need --far-end\n";
        return 2;
    }
    if (parser.isSet(layoutOption)) {
        const QByteArray layout = sim::farEndShellLayout(*farEnd);
        std::fwrite(layout.constData(), 1, std::size_t(layout.size()), stdout);
        return 0;
    }
    bool portOk = false;
    const int port = parser.value(portOption).toInt(&portOk);
    if (!portOk || port < 0 || port > 65535) {
        err << "invalid --port: " << parser.value(portOption) << '\n';
        return 2;
    }
    if (parser.isSet(certOption) != parser.isSet(keyOption)) {
        err << "--cert and --key go together\n";
        return 2;
    }
    QByteArray certificate = sim::demoServerCertificatePem();
    QByteArray key = sim::demoServerKeyPem();
    if (parser.isSet(certOption) &&
        (!readFile(parser.value(certOption), certificate) || !readFile(parser.value(keyOption), key))) {
        err << "cannot read --cert or --key\n";
        return 2;
    }

    // Block the stop signals before the server threads exist, so that only sigwait sees them.
    sigset_t stopSignals;
    blockStopSignals(stopSignals);
    int received = 0;

    if (parser.isSet(devicesOption)) {
        sim::DevicePageServer devices(world);
        const QString host = parser.isSet(hostOption) ? parser.value(hostOption) : QStringLiteral("0.0.0.0");
        const int devicePort = parser.isSet(portOption) ? port : 80;
        if (!devices.start(host, devicePort)) {
            err << "cannot listen on " << host << ':' << devicePort << '\n';
            return 1;
        }
        std::printf("device pages on %s:%d\n", qPrintable(host), devices.port());
        std::fflush(stdout);
        // Freezing is the platform's: the device pages ignore SIGUSR1 and SIGUSR2.
        while (sigwait(&stopSignals, &received) == 0 && (received == SIGUSR1 || received == SIGUSR2)) {
        }
        return 0;
    }

    sim::PlatformSimulator simulator(world, certificate, key);
    if (!parser.isSet(quietOption))
        simulator.setCallObserver(printCall);
    if (!simulator.start(parser.value(hostOption), port)) {
        err << "cannot listen on " << parser.value(hostOption) << ':' << port
            << " (address in use, or a certificate and key that do not match)\n";
        return 1;
    }
    QTextStream out(stdout);
    if (parser.isSet(quietOption)) {
        out << "listening on " << QString::fromUtf8(simulator.baseUrl()) << '\n';
        out.flush();
    } else {
        printDemoAccounts(out, simulator.world(), simulator.baseUrl());
    }

    simulator.setFrozen(parser.isSet(frozenOption));
    // SIGUSR1 and SIGUSR2 freeze and thaw the platform; the other signals stop it.
    while (sigwait(&stopSignals, &received) == 0 && (received == SIGUSR1 || received == SIGUSR2))
        simulator.setFrozen(received == SIGUSR1);
    simulator.stop();
    return 0;
}
