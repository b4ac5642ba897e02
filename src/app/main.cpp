#include "app/daylogcleaner.h"
#include "app/logmessagehandler.h"
#include "app/parentconsole.h"
#include "app/quitonsignals.h"
#include "desktop/commandline.h"
#include "desktop/desktopsession.h"
#include "login/login.h"
#include "login/loginpictures.h"
#include "platform/owneronly.h"
#include "tunnel/logic/tunnelfiles.h"
#include "ui/appearance.h"
#include "ui/busycursor.h"
#include "ui/fontwarmup.h"
#include "ui/language.h"
#include "ui/resources.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char *argv[])
{
    // The client draws nothing with OpenGL: without the xcb GL integration Qt never loads Mesa
    // (and its LLVM), which is most of a Qt program's memory. A user's own setting wins.
    if (!qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    if (argc > 1)
        useParentConsole();
    if (const std::optional<int> finished = runCommandLine(argc, argv))
        return *finished;
#ifdef __GLIBC__
    // A handful of threads that allocate little: one heap for all of them instead of one arena
    // each keeps freed blocks reusable (about 0.2 MB less while the login dialog waits).
    mallopt(M_ARENA_MAX, 1);
#endif
    FontWarmup::start();
    QApplication application(argc, argv);
    QuitOnSignals quitOnSignals;
    initKorvaneResources();
    applyClientAppearance();
    if (!applyClientLanguage())
        qWarning("Qt's Chinese translation is missing (qttranslations5-l10n): standard buttons stay English");
    showBusyCursorDuringExchanges();
    QApplication::setWindowIcon(LoginPictures::icon(QStringLiteral(":/image/logo3.png")));
    DesktopSession desktop;
    if (!desktop.claimWorkingDirectory())
        return desktop.exitCode();
    // Earlier versions left the logs readable by every local user.
    OwnerOnly::tightenFolder(QStringLiteral("LogFile"));
    OwnerOnly::tightenFolder(TunnelFiles::logDirectory);

    FontWarmup::finish();
    Login *login = desktop.showLoginDialog();

    // Pruned before the handler is installed, so its own messages go to the default output.
    auto *cleaner = new DayLogCleaner;
    cleaner->pruneDayLogs(QDir::currentPath() + QStringLiteral("/LogFile/"));

    qInstallMessageHandler(dayLogMessageHandler);
    QApplication::exec();

    delete login;
    return 0;
}
