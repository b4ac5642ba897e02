// The confirmed exit: kill the recorded tunnels, tell the platform, close.
#include "mainwindow/mainwindow.h"

#include "api/exchangewait.h"
#include "ui/messageboxes.h"

#include <QCloseEvent>

void MainWindow::on_btnExit_clicked()
{
    const auto answer = MessageBoxes::question(nullptr, QStringLiteral("提示"), QStringLiteral("是否退出当前程序"));
    if (answer == QMessageBox::No)
        return;

    // The lists are read only now: timer slots may have changed them while the box was open.
    // A tunnel still connecting, which the lists do not hold yet, goes as well.
    shutDownTunnels();
    // The way out does not wait (twice) for a platform known not to answer, nor for one that an
    // exchange is still waiting for; the alarm is not sent after a report that got no answer.
    const bool platformSilent = platformSilence.isSilent() || ExchangeWait::isWaiting();
    if (!platformSilent && reportTunnelState(sessionToken, QString::fromUtf8(tapSerial), false).answered())
        reportTunnelAlarm(1);
    close();
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // A close by the window system (its close button, Alt+F4, the task bar) is the user leaving:
    // the exit button's question and sequence, once this event is over (the window is closing
    // until then, and would not close again). The client's own close(), and a close of every
    // window at the session's end, go through as they are.
    if (event->spontaneous()) {
        event->ignore();
        QMetaObject::invokeMethod(this, &MainWindow::on_btnExit_clicked, Qt::QueuedConnection);
        return;
    }
    shutDownTunnels();
    QMainWindow::closeEvent(event);
}
