#include "app/daylogcleaner.h"
#include "app/logmessagehandler.h"
#include "app/quitonsignals.h"
#include "login/login.h"
#include "ui/appearance.h"
#include "ui/resources.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QuitOnSignals quitOnSignals;
    initKorvaneResources();
    applyClientAppearance();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/image/logo3.png")));

    auto *login = new Login;
    login->show();

    // Pruned before the handler is installed, so its own messages go to the default output.
    auto *cleaner = new DayLogCleaner;
    cleaner->pruneDayLogs(QDir::currentPath() + QStringLiteral("/LogFile/"));

    qInstallMessageHandler(dayLogMessageHandler);
    QApplication::exec();

    delete login;
    return 0;
}
