#include "sim/demosites.h"
#include "sim/platformsimulator.h"
#include "sim/world.h"

namespace sim {

namespace {

enum DemoCustomer { Suzhou = 1001, Hangzhou = 1002, Ningbo = 1003, Trial = 1004 };

// A list written as one UTF-8 text, items separated by blanks.
QStringList words(const char *text)
{
    return QString::fromUtf8(text).split(QLatin1Char(' '));
}

Tap tap(const QString &serial, const QString &password, int customerId)
{
    Tap t;
    t.serial = serial;
    t.passWord = password;
    t.customerId = customerId;
    return t;
}

DemoRegion suzhou()
{
    DemoRegion r;
    r.customerId = Suzhou;
    r.serialPrefix = QStringLiteral("KV2410A");
    r.addressPrefix = QStringLiteral("江苏省苏州市");
    r.areaNames = words("苏州工业园区 姑苏区 吴中区 相城区 苏州高新区 吴江区 昆山 常熟 张家港 太仓");
    r.areaDistricts = words("工业园区 姑苏区 吴中区 相城区 虎丘区 吴江区 昆山市 常熟市 张家港市 太仓市");
    r.siteKinds = words("泵站 污水处理厂 自来水厂 加压站 配水站 雨水泵站 水质监测站");
    r.streets = words(
        "星湖街 现代大道 金鸡湖大道 干将东路 人民路 宝带西路 苏虹中路 长江路 阳澄湖大道 东环路 中山北路 港城大道");
    r.lanBase = 0;
    return r;
}

DemoRegion hangzhou()
{
    DemoRegion r;
    r.customerId = Hangzhou;
    r.serialPrefix = QStringLiteral("HZ2503B");
    r.addressPrefix = QStringLiteral("浙江省杭州市");
    r.areaNames = words("钱塘区 萧山区 余杭区 滨江区");
    r.areaDistricts = r.areaNames;
    r.siteKinds = words("装配车间 喷涂车间 仓储中心 质检中心");
    r.streets = words("文渊路 市心北路 文一西路 江南大道 学源街");
    r.lanBase = 100;
    return r;
}

DemoRegion ningbo()
{
    DemoRegion r;
    r.customerId = Ningbo;
    r.serialPrefix = QStringLiteral("NB2409C");
    r.addressPrefix = QStringLiteral("浙江省宁波市");
    r.areaNames = words("北仑港区 镇海港区");
    r.areaDistricts = words("北仑区 镇海区");
    r.siteKinds = words("岸桥 堆场 冷链仓库");
    r.streets = words("明州路 庆丰路 海天中路");
    r.lanBase = 180;
    return r;
}

} // namespace

QVector<Customer> demoCustomers()
{
    auto customer = [](int id, const QString &name, int enabled) {
        Customer c;
        c.customerId = id;
        c.name = name;
        c.enabled = enabled;
        return c;
    };
    return {customer(Suzhou, QStringLiteral("苏州水务集团"), 1),
            customer(Hangzhou, QStringLiteral("杭州智造科技有限公司"), 1),
            customer(Ningbo, QStringLiteral("宁波港务设备公司"), 0), // project disabled
            customer(Trial, QStringLiteral("无锡试用项目"), 1)};     // no gateways yet
}

QVector<Account> demoAccounts()
{
    auto account = [](const QString &name, const QString &password, int customerId) {
        Account a;
        a.userName = name;
        a.passWord = password;
        a.customerId = customerId;
        return a;
    };
    return {account(QStringLiteral("demo"), QStringLiteral("Demo@2026"), Suzhou),
            account(QStringLiteral("engineer"), QStringLiteral("Field #1 & co+"), Suzhou),
            account(QStringLiteral("zhangwei"), QStringLiteral("张伟2026"), Hangzhou),
            account(QStringLiteral("ningbo"), QStringLiteral("Ningbo@2026"), Ningbo),
            account(QStringLiteral("trial"), QStringLiteral("Trial@2026"), Trial)};
}

QVector<Tap> demoTaps()
{
    Tap refused = tap(QStringLiteral("TAP-DEMO-0009"), QStringLiteral("Tap@0009"), Suzhou);
    refused.loginAllowed = false;
    Tap elsewhere = tap(QStringLiteral("TAP-DEMO-0008"), QStringLiteral("Tap@0008"), Suzhou);
    elsewhere.boundFingerprint = QStringLiteral("9b1f6a3c0d2e4f5a6b7c8d9e0f1a2b3c");
    return {tap(QStringLiteral("TAP-DEMO-0001"), QStringLiteral("Tap@0001"), Suzhou),
            tap(QStringLiteral("TAP-DEMO-0002"), QStringLiteral("Tap #2 & +x"), Suzhou),
            elsewhere,
            refused,
            tap(QStringLiteral("TAP-ZW-0001"), QStringLiteral("Zw#0001"), Hangzhou),
            tap(QStringLiteral("TAP-NB-0001"), QStringLiteral("Nb@0001"), Ningbo),
            tap(QStringLiteral("TAP-TRIAL-0001"), QStringLiteral("Trial@0001"), Trial)};
}

World demoWorld()
{
    World w;
    w.accounts = demoAccounts();
    w.customers = demoCustomers();
    w.taps = demoTaps();
    w.caCertificatePem = demoCaPem();

    int nextDeviceId = 10001;

    // Suzhou: 75 gateways (three pages of 30), the TAPs' center sites among them.
    const DemoRegion sz = suzhou();
    w.gateways.append(demoCenterGateway(QStringLiteral("TAP-DEMO-0001"), Suzhou, QStringLiteral("苏州水务调度中心"),
                                        QStringLiteral("江苏省苏州市姑苏区三香路1196号"), 1, 200));
    w.gateways.append(demoCenterGateway(QStringLiteral("TAP-DEMO-0002"), Suzhou, QStringLiteral("工业园区运维中心"),
                                        QStringLiteral("江苏省苏州市工业园区星湖街328号"), 2, 201));
    for (int n = 1; n <= 72; ++n) {
        if (n == 49) {
            Gateway center =
                demoCenterGateway(QStringLiteral("TAP-DEMO-0008"), Suzhou, QStringLiteral("吴江分公司中心站"),
                                  QStringLiteral("江苏省苏州市吴江区中山南路1688号"), 1, 202);
            center.tunnelOnline = 1; // its TAP is in use on another PC
            w.gateways.append(center);
        }
        w.gateways.append(demoGateway(sz, n, nextDeviceId));
    }

    // Hangzhou: one page with a center site.
    const DemoRegion hz = hangzhou();
    w.gateways.append(demoCenterGateway(QStringLiteral("TAP-ZW-0001"), Hangzhou, QStringLiteral("杭州智造总部机房"),
                                        QStringLiteral("浙江省杭州市滨江区江南大道3850号"), 1, 210));
    for (int n = 1; n <= 11; ++n)
        w.gateways.append(demoGateway(hz, n, nextDeviceId));

    // Ningbo: a small project whose customer is disabled.
    const DemoRegion nb = ningbo();
    w.gateways.append(demoCenterGateway(QStringLiteral("TAP-NB-0001"), Ningbo, QStringLiteral("宁波港务数据中心"),
                                        QStringLiteral("浙江省宁波市北仑区明州路555号"), 1, 220));
    for (int n = 1; n <= 4; ++n)
        w.gateways.append(demoGateway(nb, n, nextDeviceId));

    return w;
}

} // namespace sim
