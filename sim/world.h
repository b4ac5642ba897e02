#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// The simulated platform's data: accounts, customers, TAPs, gateways with their sites and
// devices, and the tunnel parameters handed to the client.
namespace sim {

struct Device {
    int deviceId = 0;
    QString deviceName;
    int deviceClassify = 0;   // 0 通用, 1 PLC, 2 摄像头, 3 仪表, 4 IO模块, 5 机床, 6 机器人
    QString realIp;
    QString virtualIp;
    int deviceOnline = 0;
};

struct Site {
    QString siteName;
    int siteSort = 0;         // 0 ordinary, non-zero center
    QString siteWanIp;
    QString siteLanIp;
    int siteEnabled = 1;
    QString siteAddress;
    QString tunnelAddress1;
    QString createtimes;
    QString flowDatas;
    int isVirtuaIp = 0;
    QString updateTimes;
    QString gatewayCsq;
    int siteNetType = 0;      // 0 5G, 1 4G, 2 3G, 3 WiFi, 4 有线
};

struct Gateway {
    QString gatewaySn;
    QString gatewayName;
    int customerId = 0;
    int tunnelOnline = 0;
    int gatewayOnline = 0;
    Site site;
    QVector<Device> devices;
};

struct Customer {
    int customerId = 0;
    QString name;
    int enabled = 1;
};

struct Account {
    QString userName;
    QString passWord;
    int customerId = 0;
};

struct Tap {
    QString serial;
    QString passWord;
    int customerId = 0;
    bool loginAllowed = true;    // false: 10004
    QString boundFingerprint;    // set while bound on some PC; another PC gets 10003
    // Tunnel parameters answered by getConfigParam and getDownload.
    QString tunnelIp = QStringLiteral("127.0.0.1");
    int tunnelPort = 1194;
    QString requestWay = QStringLiteral("udp");
    // Last state the client reported for this TAP (updateTunnelAndTapState, tunnelAlarmData).
    int tunnelOnline = 0;
    int tapOnline = 0;
    qint64 flowTotal = 0;          // sum of every reported flowData
    int lastWarnType = 0;
};

// One updateTunnelAndTapState or tunnelAlarmData call, in arrival order.
struct StateReport {
    QString gatewaySn;
    int tunnelOnline = 0;
    int tapOnline = 0;
    qint64 flowData = 0;
};

struct AlarmReport {
    QString gatewaySn;
    int warnSort = 0;
    int warnType = 0;
};

struct World {
    QVector<Account> accounts;
    QVector<Customer> customers;
    QVector<Tap> taps;
    QVector<Gateway> gateways;
    QByteArray caCertificatePem;   // body of getDownload
    QVector<StateReport> stateReports;
    QVector<AlarmReport> alarmReports;

    // Look-ups by key; nullptr when absent. Pointers stay valid until the vector changes.
    Account *findAccount(const QString &userName);
    Customer *findCustomer(int customerId);
    Tap *findTap(const QString &serial);
    Gateway *findGateway(const QString &gatewaySn);
    Device *findDevice(int deviceId);
};

// The demo world of the README: a few customers, about 75 gateways for the demo customer,
// Chinese site names, ordinary and center sites, devices of every class, a TAP per account.
World demoWorld();

// The demo world's platform accounts and TAPs (also listed by korvane-platform-sim and the README).
QVector<Account> demoAccounts();
QVector<Customer> demoCustomers();
QVector<Tap> demoTaps();

} // namespace sim
