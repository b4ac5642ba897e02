// Binding a TAP to this PC: automatically at login from TAPBOUND.ini, by hand from the bind page,
// and the main window's side of releasing it.
#include "mainwindow/mainwindow.h"

#include "api/operations.h"
#include "api/platformcall.h"
#include "mainwindow/logic/bindingreplies.h"
#include "platform/fingerprint.h"
#include "store/tapbindingstore.h"
#include "tunnel/logic/tunnelobserver.h"
#include "tunnel/waitreconnect.h"
#include "tunnel/waittingwidget.h"
#include "ui/messageboxes.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QTimer>

namespace {
constexpr int kMinute = 60000;

void showBindPage(Ui::MainWindow *ui)
{
    ui->stackedWidget->setCurrentIndex(2);
    ui->stackedWidget_2->setCurrentIndex(1);
}

QPixmap gatewayOnlinePicture()
{
    return QPixmap(QStringLiteral(":/image/对.png"));
}

TapBindingStore::Lists boundLists(const MainWindow &window)
{
    return {window.boundUserNames, window.boundTapSerials, window.boundTapPasswords};
}

void keepBoundLists(MainWindow &window, const TapBindingStore::Lists &lists)
{
    window.boundUserNames = lists.userNames;
    window.boundTapSerials = lists.tapSerials;
    window.boundTapPasswords = lists.tapPasswords;
}

void reportUnsavedBindings()
{
    qWarning().noquote() << TapBindingStore::saveFailedText();
    MessageBoxes::warning(nullptr, QStringLiteral("提示"), TapBindingStore::saveFailedText());
}
} // namespace

QString MainWindow::hostFingerprint()
{
    return ::hostFingerprint();
}

void MainWindow::checkBoundTap(QString userName)
{
    showBindPage(ui);
    encipherToOutput(userName.toUtf8());
    userNameCipher = cipherOutput;

    if (!boundUserNames.contains(userNameCipher)) {
        MessageBoxes::warning(this, QStringLiteral("提示"), QStringLiteral("检测到您在本机尚未绑定TAP，请先进行绑定！"));
        *tapBound = false;
        tapSerial = QByteArrayLiteral("unbound");
        showBindPage(ui);
        return;
    }

    for (int i = 0; i < boundUserNames.size(); ++i) {
        if (boundUserNames.at(i) != userNameCipher)
            continue;
        decipherToOutput(boundTapSerials.value(i));
        tapSerialCipher = cipherOutput;
        decipherToOutput(boundTapPasswords.value(i));
        tapPasswordCipher = cipherOutput;

        bool transient = false;
        if (autoBindTap(QString::fromUtf8(tapSerialCipher), QString::fromUtf8(tapPasswordCipher), &transient)) {
            *tapBound = true;
            tapPassword = tapPasswordCipher;
            tapSerial = tapSerialCipher;
            openTunnel();
            ui->siteRunstatus_2->setPixmap(gatewayOnlinePicture());
            // One binding per user; a second stored entry (a damaged file) must not undo this one.
            return;
        }
        // A platform that could not be asked does not cost the user the stored binding, but this
        // session goes on unbound all the same: the tab buttons then lead to the bind page.
        if (!transient) {
            TapBindingStore::Lists lists = boundLists(*this);
            TapBindingStore::removeUser(lists, userNameCipher);
            keepBoundLists(*this, lists);
            if (!TapBindingStore::save(lists))
                reportUnsavedBindings();
        }
        tapSerial = QByteArrayLiteral("unbound");
        showBindPage(ui);
        return;
    }
}

bool MainWindow::autoBindTap(QString serial, QString password, bool *transientFailure)
{
    const QString fingerprint = hostFingerprint();
    const PlatformReply reply = callInSession(
        [&](const QByteArray &token) { return Operations::tapAuthLogin(token, serial, password, fingerprint); });
    if (transientFailure)
        *transientFailure = !bindingRefusedByPlatform(reply.answered(), reply.code);
    if (!reply.code)
        return false;
    if (reply.succeeded()) {
        watchdogTimer->start(kMinute);
        reportTimer->start(kMinute);
        ui->stackedWidget->setCurrentIndex(0);
        ui->WG_Current_Page->setText(QStringLiteral("1"));
        fillGatewayTree(*reply.body);
        return true;
    }
    if (const std::optional<BindingMessage> message = automaticBindingMessage(*reply.code)) {
        MessageBoxes::about(nullptr, message->title, message->text);
        qWarning().noquote() << message->logWarning;
    }
    tapSerial = QByteArrayLiteral("unbound");
    return false;
}

void MainWindow::on_btn_bound_tap_clicked()
{
    const QString serial = ui->b_tap_LineEdit->text();
    const QString password = ui->b_tap_pswd_lineEdit->text();
    tapPassword = password.toUtf8();
    if (serial.isEmpty() || password.isEmpty()) {
        MessageBoxes::warning(this, QStringLiteral("警告"), QStringLiteral("TAP或密码不能为空！"));
        return;
    }

    const QString fingerprint = hostFingerprint();
    const PlatformReply reply = callInSession(
        [&](const QByteArray &token) { return Operations::tapAuthLogin(token, serial, password, fingerprint); });
    if (reply.succeeded()) {
        watchdogTimer->start(kMinute);
        reportTimer->start(kMinute);
        ui->stackedWidget->setCurrentIndex(0);
        saveBinding(userName, serial, password);
        ui->WG_Current_Page->setText(QStringLiteral("1"));
        fillGatewayTree(*reply.body);
        *tapBound = true;
        ui->siteRunstatus_2->setPixmap(gatewayOnlinePicture());
        tapSerial = serial.toUtf8();
        openTunnel();
        return;
    }
    if (const std::optional<BindingMessage> message = manualBindingMessage(reply.answered(), reply.code)) {
        MessageBoxes::critical(nullptr, message->title, message->text);
        if (!message->logWarning.isEmpty())
            qWarning().noquote() << message->logWarning;
    }
}

void MainWindow::saveBinding(QString userName, QString serial, QString password)
{
    encipherToOutput(userName.toUtf8());
    userNameCipher = cipherOutput;
    encipherToOutput(serial.toUtf8());
    tapSerialCipher = cipherOutput;
    encipherToOutput(password.toUtf8());
    tapPasswordCipher = cipherOutput;

    // The binding holds for this session even when it could not be stored for the next one.
    TapBindingStore::Lists lists = boundLists(*this);
    const bool saved = TapBindingStore::saveBinding(lists, userNameCipher, tapSerialCipher, tapPasswordCipher);
    keepBoundLists(*this, lists);
    if (!saved)
        reportUnsavedBindings();
}

void MainWindow::RefreshGatewayMsg()
{
    if (*tapBound)
        return;
    const QString serial = QString::fromUtf8(tapSerial);
    if (tunnelTapList.contains(serial)) {
        stopTunnelProcess(takeTunnelFromLists(serial));
        ui->siteRunstatus->setPixmap(QPixmap(QStringLiteral(":/image/VPN_OFF.png")));
        tunnelConnected = false;
        reconnectSuppressed = true;
        tunnelProcessStarted = false;
        reportTunnelState(sessionToken, serial, false);
        reportTunnelAlarm(1);
        qDebug().noquote() << QStringLiteral("TAP绑定解除，通道关闭");
    } else if (tunnelProcessStarted) {
        // A tunnel still connecting or reconnecting belongs to the released TAP as well.
        stopTunnelProcess(interpreterProcessId());
        tunnelProcessStarted = false;
        reconnectSuppressed = true;
        connectTimeoutTimer->stop();
        waitWidget->close();
        waitReconnect->close();
    }
    notifyTunnelObserver(TunnelEvent::SwitchedOff);
    showBindPage(ui);
    tapSerial = QByteArrayLiteral("unbound");
    ui->b_tap_LineEdit->clear();
    ui->b_tap_pswd_lineEdit->clear();

    encipherToOutput(userName.toUtf8());
    userNameCipher = cipherOutput;
    TapBindingStore::Lists lists = boundLists(*this);
    TapBindingStore::removeUser(lists, userNameCipher);
    keepBoundLists(*this, lists);

    ui->treeWidget->clear();
    rootItem = nullptr;
}
