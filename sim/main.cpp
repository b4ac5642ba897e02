// korvane-platform-sim: the platform simulator with the demo world, for the demo and the
// end-to-end tests. Runs until SIGINT or SIGTERM.
#include "sim/platformsimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>
#include <csignal>
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
    const QCommandLineOption quietOption(QStringLiteral("quiet"), QStringLiteral("Do not print the demo accounts."));
    parser.addOptions({hostOption, portOption, certOption, keyOption, quietOption});
    parser.process(app);

    QTextStream err(stderr);
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
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    sim::PlatformSimulator simulator(sim::demoWorld(), certificate, key);
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

    int received = 0;
    sigwait(&stopSignals, &received);
    simulator.stop();
    return 0;
}
