#include "mainwindow/mainwindow.h"

#include "crypto/credentialcipher.h"
#include "mainwindow/framelesshelper.h"
#include "mainwindow/userdesign.h"
#include "store/tapbindingstore.h"
#include "tunnel/logic/managementpassword.h"
#include "tunnel/waitreconnect.h"
#include "tunnel/waittingwidget.h"
#include "ui/windowmask.h"
#include "ui/enterclicks.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QProcess>
#include <QTcpSocket>
#include <QTimer>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent),
      ui(new Ui::MainWindow),
      tapBound(std::make_shared<bool>(false)),
      cipherKeyText(CredentialCipher::keyText()),
      cipherKey(cipherKeyText.toLocal8Bit())
{
    // Flags first: changing them on a built form re-applies the style sheets to every widget.
    setWindowFlags(Qt::FramelessWindowHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint);
    ui->setupUi(this);
    designedMinimumSize = minimumSize();

    for (QLabel *label : {ui->gatewaySn, ui->tunnelAddress1, ui->gatewaySn_2, ui->tunnelAddress1_2})
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);

    // The stored bindings are read at program start, before anyone logs in.
    boundUserNames.clear();
    boundTapSerials.clear();
    boundTapPasswords.clear();
    const TapBindingStore::Lists stored = TapBindingStore::load();
    boundUserNames = stored.userNames;
    boundTapSerials = stored.tapSerials;
    boundTapPasswords = stored.tapPasswords;

    ui->treeWidget->setHeaderHidden(true);
    clickOnEnter(ui->btn_bound_tap, {ui->b_tap_LineEdit, ui->b_tap_pswd_lineEdit});
    clickOnEnter(ui->searchGwBtn, {ui->lineEdit_search_GW, ui->lineEdit_search_SITE_NAME, ui->lineEdit_search_GW_NAME});
    connect(ui->treeWidget, &QTreeWidget::itemClicked, this, &MainWindow::showtheGatewayMsg);
    connect(ui->treeWidget, &QTreeWidget::itemClicked, this, &MainWindow::showDevList);

    userDesign = new UserDesign(tapBound);
    connect(userDesign, &UserDesign::closeSon, this, &MainWindow::RefreshGatewayMsg);
    connect(this, &MainWindow::sendToken_UsrName_TAP, userDesign, &UserDesign::getToken_UsrName_TAP);

    waitWidget = new WaittingWidget;
    waitReconnect = new WaitReConnect;
    connect(this, &MainWindow::sendReconnectNum_WaitShow, waitReconnect, &WaitReConnect::ReconnectNum_WaitShow);
    connect(waitReconnect, &WaitReConnect::ReconnectClose, this, &MainWindow::UnReconnectVpn);

    ui->btnMin->setIcon(QIcon(QStringLiteral(":/image/min.png")));
    ui->btnMax->setIcon(QIcon(QStringLiteral(":/image/max1.png")));
    ui->btnExit->setIcon(QIcon(QStringLiteral(":/image/exit.png")));
    ui->userdesign->setIcon(QIcon(QStringLiteral(":/image/用户设置.png")));

    framelessHelper = new FramelessHelper(this);
    framelessHelper->manageWidget(this);
    framelessHelper->setTitleBarHeight(90);
    framelessHelper->setMoveEnabled(true);
    framelessHelper->setResizeEnabled(true);
    connect(framelessHelper, &FramelessHelper::sigMax, this, &MainWindow::slotMax);

    QHeaderView *header = ui->tableWidget->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Stretch);
    header->setVisible(true);
    header->setHighlightSections(false);
    ui->tableWidget->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui->tableWidget->setFrameShape(QFrame::NoFrame);
    ui->tableWidget->setSortingEnabled(false);

    tunnelProcess = new QProcess(this);
    tunnelProcess->setProcessChannelMode(QProcess::MergedChannels);
    connect(tunnelProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &MainWindow::onTunnelProgramEnded);
    managementPassword = std::make_unique<ManagementPassword>();
    // Before anything else of the tunnel: what a crashed run of the client in this folder left.
    clearTunnelLeftovers();

    watchdogTimer = new QTimer(this);
    connectTimeoutTimer = new QTimer(this);
    reconnectTimer = new QTimer(this);
    reportTimer = new QTimer(this);
    connect(watchdogTimer, &QTimer::timeout, this, &MainWindow::CheckVpnState);
    connect(connectTimeoutTimer, &QTimer::timeout, this, &MainWindow::Vpn_Timeout);
    connect(reconnectTimer, &QTimer::timeout, this, &MainWindow::TryReconnectVPN);
    connect(reportTimer, &QTimer::timeout, this, &MainWindow::ReportState);

    managementSocket = new QTcpSocket;
    connect(managementSocket, &QTcpSocket::readyRead, this, &MainWindow::slotReadyRead);
    // The window is never deleted before the process ends; a quit must not leave a tunnel behind.
    if (QCoreApplication::instance())
        connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, &MainWindow::shutDownTunnels);

    platformReachable = true;
    wasReachable = 1;
}

MainWindow::~MainWindow()
{
    shutDownTunnels();
    delete ui;
    if (tunnelProcess) {
        tunnelProcess->close();
        delete tunnelProcess;
    }
    // Created without parent so they stay top-level windows; they go with the window.
    delete userDesign;
    delete waitWidget;
    delete waitReconnect;
    delete managementSocket;
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event)
    paintStyledBackgroundWithRoundedMask(this, 3);
}

void MainWindow::on_btnMin_clicked()
{
    showMinimized();
}

void MainWindow::on_btnMax_clicked()
{
    framelessHelper->requestMaximized(this, !framelessHelper->queryMaximized(this));
}

void MainWindow::slotMax(bool bMax)
{
    ui->btnMax->setIcon(QIcon(bMax ? QStringLiteral(":/image/max2.png") : QStringLiteral(":/image/max1.png")));
}

void MainWindow::getToken(std::string Token, QString UserName, QString UserPass)
{
    sessionToken = QByteArray::fromStdString(Token);
    userName = UserName;
    userPassword = UserPass;
    ui->username->setText(userName);
    checkBoundTap(userName);
}

void MainWindow::on_userdesign_clicked()
{
    emit sendToken_UsrName_TAP(sessionToken.toStdString(), ui->username->text(), QString::fromUtf8(tapSerial));
    userDesign->setWindowModality(Qt::ApplicationModal);
    userDesign->setAttribute(Qt::WA_ShowModal, true);
    userDesign->move(frameGeometry().center() - userDesign->rect().center());
    userDesign->show();
}

bool MainWindow::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    // The form's minimum fits the designed fonts; with wider ones the window keeps what its
    // layout needs, so no address or serial is ever cut.
    if (event->type() == QEvent::LayoutRequest && layout())
        setMinimumSize(designedMinimumSize.expandedTo(layout()->minimumSize()));
    return handled;
}
