// The confirmed exit: kill the recorded tunnels, tell the platform, close.
#include "mainwindow/mainwindow.h"

#include "ui/messageboxes.h"

void MainWindow::on_btnExit_clicked()
{
    const auto answer = MessageBoxes::question(nullptr, QStringLiteral("提示"), QStringLiteral("是否退出当前程序"));
    if (answer == QMessageBox::No)
        return;

    // The lists are read only now: timer slots may have changed them while the box was open.
    // A tunnel still connecting, which the lists do not hold yet, goes as well.
    shutDownTunnels();
    reportTunnelState(sessionToken, QString::fromUtf8(tapSerial), false);
    reportTunnelAlarm(1);
    close();
}
