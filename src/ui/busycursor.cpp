#include "ui/busycursor.h"

#include "api/platformexchange.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

void followExchange(bool busy)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    // Exchanges never nest (no event loop runs inside one), so every set is followed by one restore
    // before anything else, a message box included, comes up. The platform plugin sends the cursor
    // to the window system at once, although the event loop is blocked until the restore.
    if (busy)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else
        QGuiApplication::restoreOverrideCursor();
}

} // namespace

void showBusyCursorDuringExchanges()
{
    installExchangeActivityHook(&followExchange);
}
