#include "ui/busycursor.h"

#include "api/platformexchange.h"
#include "ui/waitinginputfilter.h"

#include <QCursor>
#include <QGuiApplication>

namespace {

void followExchange(bool busy)
{
    if (!qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return;
    // Exchanges nest (a handler run while one waits may start another), and so do these calls:
    // the override cursor is a stack, and a box shown meanwhile pushes its own arrow over it.
    if (busy) {
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        WaitingInputFilter::instance().begin();
    } else {
        WaitingInputFilter::instance().end();
        QGuiApplication::restoreOverrideCursor();
    }
}

} // namespace

void showBusyCursorDuringExchanges()
{
    installExchangeActivityHook(&followExchange);
}
