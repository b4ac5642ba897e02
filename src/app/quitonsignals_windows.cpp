#include "app/quitonsignals.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <windows.h>

namespace {

// Runs on a thread of its own that Windows starts for the event. The quit happens in the event
// loop; for a closed console, a logoff or a shutdown Windows ends the process when the handler
// returns, so the handler gives the quit (stopping the tunnel) a moment first.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (QCoreApplication *application = QCoreApplication::instance())
        QMetaObject::invokeMethod(application, &QCoreApplication::quit, Qt::QueuedConnection);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(5000);
    return TRUE;
}

} // namespace

// Ctrl+C, Ctrl+Break and a closed console (the forms SIGINT, SIGTERM and SIGHUP take here) end in
// QCoreApplication::quit(). A session's end reaches the windows as a message, which Qt handles.
QuitOnSignals::QuitOnSignals(QObject *parent) : QObject(parent)
{
    active = SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

// The handler stays, as on Linux: an event after the quit must not end the process otherwise.
QuitOnSignals::~QuitOnSignals() = default;
