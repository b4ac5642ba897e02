#pragma once

#include "tunnel/logic/managementchunk.h"
#include "api/platformcall.h"
#include "api/platformsilence.h"
#include "tunnel/logic/tunnelfacts.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>

struct cJSON;
class FramelessHelper;
class ManagementPassword;
class TunnelObserver;
enum class TunnelEvent;
class QProcess;
class QTableWidgetItem;
class QTcpSocket;
class QTimer;
class QTreeWidgetItem;
class UserDesign;
class WaitReConnect;
class WaittingWidget;

namespace Ui {
class MainWindow;
}

// The one window after login. It holds all client state; its member functions live in one file
// per concern, each reading the members, asking a widget-free unit to decide and applying the
// result.
class MainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

signals:
    void sendToken_UsrName_TAP(std::string Token, QString UserName, QString TAP);
    void sendReconnectNum_WaitShow(int ReNum);

public slots:
    void on_btnMin_clicked();
    void on_btnMax_clicked();
    void on_btnExit_clicked();
    void slotMax(bool bMax);
    void on_showAllGwList_clicked();
    void on_searchGwPage_clicked();
    void getToken(std::string Token, QString UserName, QString UserPass);
    void on_btn_bound_tap_clicked();
    void showtheGatewayMsg(QTreeWidgetItem *item, int col);
    void showDevList(QTreeWidgetItem *item, int col);
    void on_userdesign_clicked();
    void RefreshGatewayMsg();
    void read_data();
    void finished_process();
    void error_process();
    bool testFunction();
    void slotReadyRead();
    void CheckVpnState();
    void TryReconnectVPN();
    void Vpn_Timeout();
    void ReportState();
    void on_VpnControl_clicked();
    void on_WG_After_Page_clicked();
    void on_WG_Previous_Page_clicked();
    void on_WG_One_Page_clicked();
    void on_WG_Last_Page_clicked();
    void on_DEV_Previous_Page_clicked();
    void on_DEV_After_Page_clicked();
    void on_DEV_One_Page_clicked();
    void on_DEV_Last_Page_clicked();
    void on_searchGwBtn_clicked();
    void UnReconnectVpn();

protected:
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool event(QEvent *event) override;

public:
    // Session token (re-request and reachability probe); true when a token was granted.
    bool reRequestToken();
    void probeReachability();
    // One operation in the session, built with the held token. On 10002 (session no longer valid)
    // the token is renewed once and the operation sent once more with the new one; its reply is
    // the caller's, whatever it is.
    PlatformReply callInSession(const std::function<PlatformRequest(const QByteArray &token)> &build);

    // Credential cipher as used for stored secrets; the result lands in cipherOutput.
    void encipherToOutput(const QByteArray &bytes);
    void decipherToOutput(const QByteArray &bytes);

    // TAP binding.
    void checkBoundTap(QString userName);
    bool autoBindTap(QString serial, QString password, bool *transientFailure = nullptr);
    void saveBinding(QString userName, QString serial, QString password);
    QString hostFingerprint();

    // Gateway tree, site panel and device table.
    // The page loads: true when the platform answered (whatever it said).
    bool loadGatewayPage(int index);
    void fillGatewayTree(const QByteArray &reply);
    bool loadDevicePage(int index);
    void fillDeviceTable(const cJSON *reply, int shownPage);

    // Online refresh, traffic and status reports to the platform; each returns its exchange's reply.
    PlatformReply refreshGatewayStates();
    PlatformReply refreshDeviceStates();
    void updateTrafficMeter();
    PlatformReply reportTunnelState(const QByteArray &token, const QString &tapSerial, bool tunnelOnline);
    PlatformReply reportTunnelAlarm(int warnType);

    // Tunnel provisioning: site and customer checks, profile, CA file, launch.
    bool openTunnel();
    // The platform's refusal of a launch (site or project switched off), or empty.
    QString tunnelRefusal(bool *unanswered = nullptr); // unanswered: the platform did not answer
    bool checkCustomerEnabled(bool *unanswered = nullptr); // unanswered: the platform did not answer
    bool fetchTunnelProfile(const QByteArray &serial, const QByteArray &password, const QByteArray &token);
    bool fetchCaCertificate(const QByteArray &token, const QByteArray &serial);

    // The tunnel process and its management channel.
    bool launchTunnel(const QByteArray &serial, const QByteArray &password);
    bool connectManagementChannel();
    void onManagementChannelFailed();
    bool closeTunnel();
    void onTunnelConnected(const QByteArray &description);
    void onTunnelProgramEnded();

    // Supervision: drops, the far end's restart.
    void onTunnelDropped();
    void onReconnectAttemptFailed();
    void tellPlatformUnreachable();
    void requestServerRestart();
    void startReconnectCycle();
    void endReconnectCycle();
    void showTunnelOff();

    // Tells the installed observer (tray, notifications) what the tunnel did.
    void notifyTunnelObserver(TunnelEvent event, int attempt = -1);

    // The tunnel's facts (address, time, traffic, last failure): fed, then shown on the status
    // line of the tunnel panel and handed to the observer.
    void noteTunnelLine(const QByteArray &line);
    void noteTunnelCounters();
    void noteTunnelEvent(TunnelEvent event);
    void showTunnelFacts();
    // The informative texts of the failure boxes: the tunnel program's last error since the launch
    // with the next step, and for a missing adapter the ways to the right to create one.
    QString connectTimeoutReason();
    QString adapterMissingReason();

    // The running-tunnel lists and the kill step.
    QString takeTunnelFromLists(const QString &serial);
    void stopTunnelProcess(const QString &processId);
    QString interpreterProcessId() const;
    void killRecordedTunnels();
    void shutDownTunnels();
    void forgetTunnelPassword();

    // What an earlier run and the launches leave behind; the files a launch hands over.
    void clearTunnelLeftovers();
    void stopEarlierTunnel();
    bool writeLaunchFiles(const QByteArray &serial, const QByteArray &password);

    Ui::MainWindow *ui;
    FramelessHelper *framelessHelper = nullptr;
    UserDesign *userDesign = nullptr;
    WaittingWidget *waitWidget = nullptr;
    WaitReConnect *waitReconnect = nullptr;

    QByteArray sessionToken;
    QString userName;
    QString userPassword;
    bool platformReachable = true;
    int wasReachable = 1;
    PlatformSilence platformSilence; // the minute ticks pause while the platform does not answer

    QByteArray tapSerial;
    QByteArray tapPassword;
    std::shared_ptr<bool> tapBound;
    QByteArrayList boundUserNames;
    QByteArrayList boundTapSerials;
    QByteArrayList boundTapPasswords;
    QByteArray userNameCipher;
    QByteArray tapSerialCipher;
    QByteArray tapPasswordCipher;

    QString cipherKeyText;
    QByteArray cipherKey;
    QByteArray cipherScratch;
    QByteArray cipherOutput;

    QProcess *tunnelProcess = nullptr;
    QTcpSocket *managementSocket = nullptr;
    std::unique_ptr<ManagementPassword> managementPassword;
    qint64 tunnelLogOffset = 0;        // size of the tunnel program's log at the launch
    QByteArray lastProfileSerial;      // the TAP of the last tunnel parameters from the platform,
    QByteArray lastProfileText;        // the profile made of them,
    QByteArray lastCaText;             // and the CA file of the last certificate download
    QString lastManagementCommand;
    QStringList tunnelTapList;
    QStringList tunnelInfoList;
    QStringList tunnelPidList;
    bool tunnelConnected = false;
    bool tunnelProcessStarted = false;
    bool reconnectSuppressed = false;
    bool reconnectInProgress = false;
    qint32 reconnectCount = 0;
    qint32 tunnelStateCode = 0;
    qint32 adapterWarningShown = 0;
    qint32 adapterDownHandled = 0;
    bool serverRestartRequested = false; // the far end's restart was asked for in this cycle
    bool attemptFailureHandled = false;  // the current reconnect attempt's failure was acted on
    ManagementLineReader managementLines;
    RepeatedLineLog notificationLog;
    QSize designedMinimumSize;           // the form's own minimum; wider fonts may need more
    bool tunnelsShutDown = false;        // every tunnel process was stopped for good (exit, close, quit)
    TunnelObserver *tunnelObserver = nullptr; // not owned
    TunnelFacts tunnelFacts;

    QTimer *watchdogTimer = nullptr;
    QTimer *reportTimer = nullptr;
    QTimer *reconnectTimer = nullptr;
    QTimer *connectTimeoutTimer = nullptr;

    qint64 trafficCurrent = 0;
    qint64 trafficPrevious = 0;
    qint64 trafficDelta = 0;

    QTreeWidgetItem *rootItem = nullptr;
    QTreeWidgetItem *gatewayItem = nullptr;
    qint32 customerId = 0;
    QString searchGatewaySn;
    QString searchGatewayName;
    QString searchSiteName;
    QStringList gatewaySnList;
    QTableWidgetItem *deviceCell = nullptr;
    QTreeWidgetItem *unansweredClick = nullptr; // the gateway click whose site request found no platform
    QStringList deviceIdList;
};
