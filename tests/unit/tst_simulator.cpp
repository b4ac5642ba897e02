// Contract of the platform simulator: the replies the client reads (members, JSON types,
// codes), paging, percent-decoding, the request log and fault injection. Talks HTTPS to the
// simulator on 127.0.0.1 and trusts only the demo CA.
#include "sim/platformsimulator.h"

#include <QUrl>
#include <QtTest>
#include <algorithm>
#include <cjson/cJSON.h>
#include <httplib.h>
#include <memory>

using namespace sim;

namespace {

struct JsonDeleter {
    void operator()(cJSON *json) const { cJSON_Delete(json); }
};
using Json = std::unique_ptr<cJSON, JsonDeleter>;

struct Answer {
    bool transferred = false;
    int status = 0;
    QByteArray contentType;
    QByteArray body;

    Json json() const { return Json(cJSON_ParseWithLength(body.constData(), size_t(body.size()))); }
    int code() const
    {
        const Json document = json();
        const cJSON *code = cJSON_GetObjectItemCaseSensitive(document.get(), "code");
        return cJSON_IsNumber(code) ? code->valueint : -1;
    }
};

// The demo CA as a file: cpp-httplib would otherwise add the whole system bundle to the store
// (slow, and more trust than these tests want).
QString demoCaFile;

Answer call(int port, const QByteArray &operation, const QByteArray &query, bool post = true, int timeoutMs = 10000)
{
    httplib::SSLClient client("127.0.0.1", port);
    client.set_ca_cert_path(demoCaFile.toStdString());
    client.enable_server_certificate_verification(true);
    client.set_url_encode(false); // queries go out exactly as written here
    client.set_read_timeout(timeoutMs / 1000, (timeoutMs % 1000) * 1000);
    const std::string path =
        "/lintraApi/" + operation.toStdString() + (query.isEmpty() ? "" : "?") + query.toStdString();
    const httplib::Result result = post ? client.Post(path, std::string(), "application/json") : client.Get(path);
    Answer answer;
    if (!result)
        return answer;
    answer.transferred = true;
    answer.status = result->status;
    answer.contentType = QByteArray::fromStdString(result->get_header_value("Content-Type"));
    answer.body = QByteArray::fromStdString(result->body);
    return answer;
}

QByteArray encoded(const QString &text)
{
    return QUrl::toPercentEncoding(text);
}

const cJSON *member(const cJSON *object, const char *name)
{
    return cJSON_GetObjectItemCaseSensitive(object, name);
}

QStringList texts(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT

    std::unique_ptr<PlatformSimulator> m_sim;
    QTemporaryDir m_dir;

    int port() const { return m_sim->port(); }
    QByteArray login(const QByteArray &query = "userName=demo&passWord=Demo%402026")
    {
        const Json reply = call(port(), "getLintraToken", query).json();
        const cJSON *token = member(member(reply.get(), "data"), "token");
        return cJSON_IsString(token) ? QByteArray(token->valuestring) : QByteArray();
    }
    Answer withToken(const QByteArray &operation, const QByteArray &rest)
    {
        const QByteArray token = login();
        return call(port(), operation, "token=" + token + rest);
    }
    QStringList serialsOf(const Answer &answer)
    {
        QStringList serials;
        const Json reply = answer.json();
        const cJSON *row = nullptr;
        cJSON_ArrayForEach(row, member(reply.get(), "data"))
        {
            const cJSON *serial = member(row, "gatewaySn");
            serials << (cJSON_IsString(serial) ? QString::fromUtf8(serial->valuestring) : QString());
        }
        return serials;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        demoCaFile = m_dir.filePath(QStringLiteral("demo-ca.pem"));
        QFile ca(demoCaFile);
        QVERIFY(ca.open(QIODevice::WriteOnly) && ca.write(demoCaPem()) == demoCaPem().size());
        ca.close();
        m_sim = std::make_unique<PlatformSimulator>(demoWorld(), demoServerCertificatePem(), demoServerKeyPem());
        QVERIFY(m_sim->start());
        QVERIFY(port() > 0);
        QCOMPARE(m_sim->baseUrl(), "https://127.0.0.1:" + QByteArray::number(port()));
    }
    void init()
    {
        m_sim->editWorld([](World &w) { w = demoWorld(); });
        m_sim->clearFaults();
        m_sim->clearRequests();
    }
    void cleanupTestCase() { m_sim->stop(); }

    void tokenGrant_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<int>("code");
        QTest::newRow("plain") << QByteArray("userName=demo&passWord=Demo%402026") << 100;
        QTest::newRow("special characters")
            << QByteArray("userName=engineer&passWord=Field%20%231%20%26%20co%2B") << 100;
        QTest::newRow("literal plus") << QByteArray("userName=engineer&passWord=Field%20%231%20%26%20co+") << 100;
        QTest::newRow("plus is no space")
            << QByteArray("userName=engineer&passWord=Field%20%231%20%26%20co%20") << 10001;
        QTest::newRow("chinese") << QByteArray("userName=zhangwei&passWord=%E5%BC%A0%E4%BC%9F2026") << 100;
        QTest::newRow("wrong password") << QByteArray("userName=demo&passWord=demo") << 10001;
        QTest::newRow("unknown account") << QByteArray("userName=nobody&passWord=Demo%402026") << 10001;
        QTest::newRow("no password") << QByteArray("userName=demo") << 10001;
    }
    void tokenGrant()
    {
        QFETCH(QByteArray, query);
        QFETCH(int, code);
        const Answer answer = call(port(), "getLintraToken", query);
        QCOMPARE(answer.code(), code);
        const QByteArray token = login(query);
        QCOMPARE(token.isEmpty(), code != 100);
        if (code == 100) {
            QVERIFY(login(query) != token); // every grant is a fresh token
            QCOMPARE(call(port(), "getSiteInfo", "token=" + token + "&gatewaySn=KV2410A0001").code(), 100);
        }
    }

    void staleToken_data()
    {
        QTest::addColumn<QByteArray>("operation");
        QTest::addColumn<QByteArray>("rest");
        QTest::newRow("tapAuthLogin") << QByteArray("tapAuthLogin")
                                      << QByteArray(
                                             "&gatewaySn=TAP-DEMO-0001&passWord=Tap%400001&size=30&index=1&localip=f");
        QTest::newRow("updateTapAuth") << QByteArray("updateTapAuth") << QByteArray("&gatewaySn=TAP-DEMO-0001");
        QTest::newRow("getCustomerInfo") << QByteArray("getCustomerInfo") << QByteArray("&customerId=1001");
        QTest::newRow("getConfigParam") << QByteArray("getConfigParam")
                                        << QByteArray("&gatewaySn=TAP-DEMO-0001&passWord=Tap%400001");
        QTest::newRow("getDownload") << QByteArray("getDownload") << QByteArray("&gatewaySn=TAP-DEMO-0001");
        QTest::newRow("clientRestartProject") << QByteArray("clientRestartProject") << QByteArray("&gatewaySn=X");
        QTest::newRow("gatewayVagueFind") << QByteArray("gatewayVagueFind") << QByteArray("&size=30&index=1");
        QTest::newRow("getSiteInfo") << QByteArray("getSiteInfo") << QByteArray("&gatewaySn=KV2410A0001");
        QTest::newRow("devicesList") << QByteArray("devicesList")
                                     << QByteArray("&gatewaySn=KV2410A0001&size=25&index=1");
        QTest::newRow("gatewayBatchFind") << QByteArray("gatewayBatchFind") << QByteArray("&gatewaySn=KV2410A0001,");
        QTest::newRow("devicesBatchFind") << QByteArray("devicesBatchFind") << QByteArray("&ids=10001,");
        QTest::newRow("updateTunnelAndTapState") << QByteArray("updateTunnelAndTapState")
                                                 << QByteArray("&gatewaySn=X&tunnelOnline=1&tapOnline=1&flowData=0");
        QTest::newRow("tunnelAlarmData") << QByteArray("tunnelAlarmData")
                                         << QByteArray("&gatewaySn=X&warnSort=1&warnType=1");
    }
    void staleToken()
    {
        QFETCH(QByteArray, operation);
        QFETCH(QByteArray, rest);
        const QByteArray token = login();
        QVERIFY(call(port(), operation, "token=" + token + rest).code() != 10002);
        QCOMPARE(call(port(), operation, "token=not-a-token" + rest).code(), 10002);
        QCOMPARE(call(port(), operation, rest.mid(1)).code(), 10002); // no token at all
        m_sim->expireAllTokens();
        QCOMPARE(call(port(), operation, "token=" + token + rest).code(), 10002);
        QVERIFY(call(port(), operation, "token=" + login() + rest).code() != 10002);
    }

    void tapAuthLoginCodes_data()
    {
        QTest::addColumn<QByteArray>("serial");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<QByteArray>("fingerprint");
        QTest::addColumn<int>("code");
        QTest::newRow("granted") << QByteArray("TAP-DEMO-0001") << QByteArray("Tap%400001") << QByteArray("aa11")
                                 << 100;
        QTest::newRow("special password")
            << QByteArray("TAP-DEMO-0002") << QByteArray("Tap%20%232%20%26%20+x") << QByteArray("aa11") << 100;
        QTest::newRow("wrong password") << QByteArray("TAP-DEMO-0001") << QByteArray("Tap%400002") << QByteArray("aa11")
                                        << 10001;
        QTest::newRow("bound elsewhere") << QByteArray("TAP-DEMO-0008") << QByteArray("Tap%400008")
                                         << QByteArray("aa11") << 10003;
        QTest::newRow("bound here") << QByteArray("TAP-DEMO-0008") << QByteArray("Tap%400008")
                                    << QByteArray("9b1f6a3c0d2e4f5a6b7c8d9e0f1a2b3c") << 100;
        QTest::newRow("refused") << QByteArray("TAP-DEMO-0009") << QByteArray("Tap%400009") << QByteArray("aa11")
                                 << 10004;
        QTest::newRow("refused before password")
            << QByteArray("TAP-DEMO-0009") << QByteArray("x") << QByteArray("aa11") << 10004;
        QTest::newRow("unknown serial") << QByteArray("TAP-NONE") << QByteArray("Tap%400001") << QByteArray("aa11")
                                        << 10005;
    }
    void tapAuthLoginCodes()
    {
        QFETCH(QByteArray, serial);
        QFETCH(QByteArray, password);
        QFETCH(QByteArray, fingerprint);
        QFETCH(int, code);
        const Answer answer = withToken("tapAuthLogin", "&gatewaySn=" + serial + "&passWord=" + password +
                                                            "&size=30&index=1&localip=" + fingerprint);
        QCOMPARE(answer.code(), code);
        if (code != 100)
            return;
        int customerGateways = 0;
        for (const Gateway &g : m_sim->world().gateways)
            customerGateways += g.customerId == 1001 ? 1 : 0;
        const Json reply = answer.json();
        const cJSON *page = member(reply.get(), "page");
        QVERIFY(cJSON_IsNumber(member(page, "size")) && cJSON_IsNumber(member(page, "index")));
        QVERIFY(cJSON_IsNumber(member(page, "count")));
        QCOMPARE(member(page, "count")->valueint, customerGateways);
        const cJSON *data = member(reply.get(), "data");
        QVERIFY(cJSON_IsArray(data));
        QCOMPARE(cJSON_GetArraySize(data), 30);
        const cJSON *row = nullptr;
        cJSON_ArrayForEach(row, data)
        {
            QVERIFY(cJSON_IsString(member(row, "gatewaySn")));
            QVERIFY(cJSON_IsNumber(member(row, "tunnelOnline")));
            QVERIFY(cJSON_IsNumber(member(row, "customerId")));
            QCOMPARE(member(row, "customerId")->valueint, 1001);
        }
    }

    void bindingFollowsTheFingerprint()
    {
        const QByteArray token = login();
        const auto bind = [&](const QByteArray &fingerprint) {
            return call(port(), "tapAuthLogin",
                        "token=" + token +
                            "&gatewaySn=TAP-DEMO-0001&passWord=Tap%400001"
                            "&size=30&index=1&localip=" +
                            fingerprint)
                .code();
        };
        QCOMPARE(bind("pc-one"), 100);
        QCOMPARE(bind("pc-one"), 100);
        QCOMPARE(bind("pc-two"), 10003);
        QCOMPARE(call(port(), "updateTapAuth", "gatewaySn=TAP-DEMO-0001&token=" + token).code(), 100);
        QCOMPARE(bind("pc-two"), 100);
        QCOMPARE(m_sim->world().findTap(QStringLiteral("TAP-DEMO-0001"))->boundFingerprint, QStringLiteral("pc-two"));
    }

    void gatewayPaging_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("rows");
        QTest::newRow("first") << 1 << 30;
        QTest::newRow("second") << 2 << 30;
        QTest::newRow("last, partial") << 3 << 15;
        QTest::newRow("past the end") << 4 << 0;
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("negative") << -1 << 0;
    }
    void gatewayPaging()
    {
        QFETCH(int, index);
        QFETCH(int, rows);
        const Answer answer = withToken("gatewayVagueFind", "&gatewaySn=&gatewayName=&siteName=&customerId=1001&size=30"
                                                            "&index=" +
                                                                QByteArray::number(index));
        QCOMPARE(answer.code(), 100);
        const Json reply = answer.json();
        QCOMPARE(member(member(reply.get(), "page"), "count")->valueint, 75);
        QCOMPARE(member(member(reply.get(), "page"), "index")->valueint, index);
        QVERIFY(cJSON_IsArray(member(reply.get(), "data")));
        QCOMPARE(cJSON_GetArraySize(member(reply.get(), "data")), rows);
    }

    void pagesCoverTheList()
    {
        QStringList listed;
        for (int index = 1; index <= 3; ++index)
            listed << serialsOf(withToken("gatewayVagueFind", "&size=30&index=" + QByteArray::number(index)));
        QStringList expected;
        for (const Gateway &g : m_sim->world().gateways) {
            if (g.customerId == 1001)
                expected << g.gatewaySn;
        }
        QCOMPARE(listed, expected);
    }

    void gatewaySearch_data()
    {
        QTest::addColumn<QString>("serial");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("site");
        QTest::addColumn<QStringList>("expected");
        const QString none;
        QTest::newRow("everything") << none << none << none << texts({"S-1", "S-2", "S-3"});
        QTest::newRow("serial") << QStringLiteral("s-2") << none << none << texts({"S-2"});
        QTest::newRow("site, chinese") << none << none << QStringLiteral("泵站") << texts({"S-1", "S-3"});
        QTest::newRow("name and site") << none << QStringLiteral("泵站网关") << QStringLiteral("雨水")
                                       << texts({"S-3"});
        QTest::newRow("special characters") << none << QStringLiteral("A&B +1%") << none << texts({"S-2"});
        QTest::newRow("no match") << none << none << QStringLiteral("不存在") << QStringList{};
    }
    void gatewaySearch()
    {
        QFETCH(QString, serial);
        QFETCH(QString, name);
        QFETCH(QString, site);
        QFETCH(QStringList, expected);
        m_sim->editWorld([](World &w) {
            const auto gateway = [](const char *sn, const QString &name, const QString &site, int customer) {
                Gateway g;
                g.gatewaySn = QString::fromLatin1(sn);
                g.gatewayName = name;
                g.site.siteName = site;
                g.customerId = customer;
                return g;
            };
            w.gateways = {gateway("S-1", QStringLiteral("泵站网关-01"), QStringLiteral("苏州工业园区一号泵站"), 1001),
                          gateway("S-2", QStringLiteral("A&B +1% 水厂"), QStringLiteral("姑苏区一号自来水厂"), 1001),
                          gateway("S-3", QStringLiteral("泵站网关-03"), QStringLiteral("吴中区二号雨水泵站"), 1001),
                          gateway("S-4", QStringLiteral("泵站网关-04"), QStringLiteral("别家的泵站"), 1002)};
        });
        const Answer answer =
            withToken("gatewayVagueFind", "&gatewaySn=" + encoded(serial) + "&gatewayName=" + encoded(name) +
                                              "&siteName=" + encoded(site) + "&customerId=1001&size=30&index=1");
        QCOMPARE(answer.code(), 100);
        QCOMPARE(serialsOf(answer), expected);
        QCOMPARE(member(member(answer.json().get(), "page"), "count")->valueint, expected.size());
    }

    void siteInfo_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("isNumber");
        for (const char *text : {"siteName", "siteWanIp", "siteLanIp", "siteAddress", "tunnelAddress1", "createtimes",
                                 "flowDatas", "updateTimes", "gatewayCsq"})
            QTest::newRow(text) << QByteArray(text) << false;
        for (const char *number :
             {"siteSort", "siteEnabled", "isVirtuaIp", "tunnelOnline", "gatewayOnline", "siteNetType"})
            QTest::newRow(number) << QByteArray(number) << true;
    }
    void siteInfo()
    {
        QFETCH(QByteArray, name);
        QFETCH(bool, isNumber);
        for (const char *serial : {"KV2410A0011", "TAP-DEMO-0002"}) {
            const Json reply = withToken("getSiteInfo", "&gatewaySn=" + QByteArray(serial)).json();
            QCOMPARE(member(reply.get(), "code")->valueint, 100);
            const cJSON *value = member(member(reply.get(), "data"), name.constData());
            QVERIFY2(value, name.constData());
            QCOMPARE(bool(cJSON_IsNumber(value)), isNumber);
            QCOMPARE(bool(cJSON_IsString(value)), !isNumber);
        }
        QVERIFY(withToken("getSiteInfo", "&gatewaySn=KV0000X9999").code() != 100);
    }

    void devicesPaging_data()
    {
        QTest::addColumn<QByteArray>("query");
        QTest::addColumn<int>("page");
        QTest::newRow("first page, click order") << QByteArray("&index=1&size=25&gatewaySn=%1&customerId=1001") << 1;
        QTest::newRow("second page") << QByteArray("&gatewaySn=%1&size=25&index=2&customerId=1001") << 2;
        QTest::newRow("past the end") << QByteArray("&gatewaySn=%1&size=25&index=3&customerId=1001") << 3;
    }
    void devicesPaging()
    {
        QFETCH(QByteArray, query);
        QFETCH(int, page);
        const World world = m_sim->world();
        const auto many = std::find_if(world.gateways.begin(), world.gateways.end(),
                                       [](const Gateway &g) { return g.devices.size() > 25; });
        QVERIFY(many != world.gateways.end());
        const int count = many->devices.size();
        const Json reply = withToken("devicesList", query.replace("%1", many->gatewaySn.toUtf8())).json();
        QCOMPARE(member(reply.get(), "code")->valueint, 100);
        QCOMPARE(member(member(reply.get(), "page"), "count")->valueint, count);
        const cJSON *data = member(reply.get(), "data");
        QCOMPARE(cJSON_GetArraySize(data), qBound(0, count - (page - 1) * 25, 25));
        int row = (page - 1) * 25;
        const cJSON *device = nullptr;
        cJSON_ArrayForEach(device, data)
        {
            for (const char *text : {"realIp", "virtualIp", "deviceName"})
                QVERIFY2(cJSON_IsString(member(device, text)), text);
            for (const char *number : {"deviceOnline", "deviceId", "deviceClassify"})
                QVERIFY2(cJSON_IsNumber(member(device, number)), number);
            QCOMPARE(member(device, "deviceId")->valueint, many->devices.at(row++).deviceId);
        }
    }

    void batchRepliesFollowRequestOrder()
    {
        m_sim->editWorld([](World &w) {
            w.findGateway(QStringLiteral("KV2410A0003"))->tunnelOnline = 1;
            w.findGateway(QStringLiteral("KV2410A0001"))->tunnelOnline = 0;
            w.findDevice(10002)->deviceOnline = 0;
            w.findDevice(10005)->deviceOnline = 1;
        });
        Json reply = withToken("gatewayBatchFind", "&gatewaySn=KV2410A0003,NOPE,KV2410A0001,").json();
        QCOMPARE(member(reply.get(), "code")->valueint, 100);
        QCOMPARE(cJSON_GetArraySize(member(reply.get(), "data")), 2);
        const cJSON *first = cJSON_GetArrayItem(member(reply.get(), "data"), 0);
        const cJSON *second = cJSON_GetArrayItem(member(reply.get(), "data"), 1);
        QCOMPARE(QByteArray(member(first, "gatewaySn")->valuestring), QByteArray("KV2410A0003"));
        QCOMPARE(member(first, "tunnelOnline")->valueint, 1);
        QCOMPARE(QByteArray(member(second, "gatewaySn")->valuestring), QByteArray("KV2410A0001"));
        QCOMPARE(member(second, "tunnelOnline")->valueint, 0);

        reply = withToken("devicesBatchFind", "&ids=10005,999999,10002,").json();
        QCOMPARE(cJSON_GetArraySize(member(reply.get(), "data")), 2);
        first = cJSON_GetArrayItem(member(reply.get(), "data"), 0);
        second = cJSON_GetArrayItem(member(reply.get(), "data"), 1);
        QCOMPARE(member(first, "deviceId")->valueint, 10005);
        QCOMPARE(member(first, "deviceOnline")->valueint, 1);
        QCOMPARE(member(second, "deviceId")->valueint, 10002);
        QCOMPARE(member(second, "deviceOnline")->valueint, 0);

        reply = withToken("devicesBatchFind", "&ids=").json(); // empty list: empty answer
        QCOMPARE(member(reply.get(), "code")->valueint, 100);
        QCOMPARE(cJSON_GetArraySize(member(reply.get(), "data")), 0);
    }

    void customerAndTunnelParameters()
    {
        m_sim->editWorld(
            [](World &w) { w.findTap(QStringLiteral("TAP-DEMO-0001"))->requestWay = QStringLiteral("TCP"); });
        Json reply = withToken("getCustomerInfo", "&customerId=1003").json();
        QCOMPARE(member(reply.get(), "code")->valueint, 100);
        QVERIFY(cJSON_IsNumber(member(member(reply.get(), "data"), "enabled")));
        QCOMPARE(member(member(reply.get(), "data"), "enabled")->valueint, 0);
        QVERIFY(withToken("getCustomerInfo", "&customerId=424242").code() != 100);

        reply = withToken("getConfigParam", "&gatewaySn=TAP-DEMO-0001&passWord=Tap%400001").json();
        const cJSON *data = member(reply.get(), "data");
        QVERIFY(cJSON_IsNumber(member(data, "port")));
        QCOMPARE(member(data, "port")->valueint, 1194);
        QCOMPARE(QByteArray(member(data, "ip")->valuestring), QByteArray("127.0.0.1"));
        QCOMPARE(QByteArray(member(data, "requestWay")->valuestring), QByteArray("TCP"));
        QCOMPARE(withToken("getConfigParam", "&gatewaySn=TAP-DEMO-0001&passWord=wrong").code(), 10001);
        QCOMPARE(withToken("getConfigParam", "&gatewaySn=TAP-NONE&passWord=x").code(), 10005);
    }

    void downloadIsRawPem()
    {
        const Answer answer = withToken("getDownload", "&gatewaySn=TAP-DEMO-0001");
        QCOMPARE(answer.status, 200);
        QCOMPARE(answer.body, demoCaPem());
        QVERIFY(answer.body.startsWith("-----BEGIN CERTIFICATE-----"));
        QVERIFY(answer.contentType.startsWith("text/plain"));
        QVERIFY(!answer.json());
    }

    void percentDecoding_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<QString>("decoded");
        QTest::newRow("ampersand") << QByteArray("a%26b") << QStringLiteral("a&b");
        QTest::newRow("plus stays") << QByteArray("a+b") << QStringLiteral("a+b");
        QTest::newRow("percent") << QByteArray("100%25") << QStringLiteral("100%");
        QTest::newRow("space") << QByteArray("a%20b") << QStringLiteral("a b");
        QTest::newRow("equals") << QByteArray("a=b") << QStringLiteral("a=b");
        QTest::newRow("chinese") << QByteArray("%E8%8B%8F%E5%B7%9E") << QStringLiteral("苏州");
        QTest::newRow("lowercase hex") << QByteArray("%e8%8b%8f") << QStringLiteral("苏");
        QTest::newRow("malformed escape") << QByteArray("50%zz") << QStringLiteral("50%zz");
        QTest::newRow("cut escape") << QByteArray("x%4") << QStringLiteral("x%4");
        QTest::newRow("empty") << QByteArray("") << QStringLiteral("");
    }
    void percentDecoding()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QString, decoded);
        call(port(), "gatewayVagueFind", "token=t&siteName=" + raw + "&size=30");
        const QList<RecordedRequest> log = m_sim->requests(QStringLiteral("gatewayVagueFind"));
        QCOMPARE(log.size(), 1);
        QCOMPARE(log.first().value(QStringLiteral("siteName")), decoded);
        QVERIFY(!log.first().value(QStringLiteral("siteName")).isNull());
        QCOMPARE(log.first().value(QStringLiteral("size")), QStringLiteral("30"));
    }

    void requestLog()
    {
        const QByteArray raw = "token=t&gatewaySn=KV2410A0001&b=2&a=1&a=3&empty=&bare";
        call(port(), "getSiteInfo", raw);
        call(port(), "getSiteInfo", "token=t", false);
        call(port(), "devicesList", "token=t");
        QCOMPARE(m_sim->requests().size(), 3);
        const QList<RecordedRequest> log = m_sim->requests(QStringLiteral("getSiteInfo"));
        QCOMPARE(log.size(), 2);
        const RecordedRequest &first = log.first();
        QCOMPARE(first.operation, QStringLiteral("getSiteInfo"));
        QCOMPARE(first.method, QByteArray("POST"));
        QCOMPARE(first.rawQuery, raw);
        const QStringList keys = texts({"token", "gatewaySn", "b", "a", "a", "empty", "bare"});
        const QStringList values = texts({"t", "KV2410A0001", "2", "1", "3", "", ""});
        QCOMPARE(first.query.size(), keys.size());
        for (int i = 0; i < keys.size(); ++i)
            QCOMPARE(first.query.at(i), qMakePair(keys.at(i), values.at(i)));
        QCOMPARE(first.value(QStringLiteral("a")), QStringLiteral("1"));
        QVERIFY(first.value(QStringLiteral("missing")).isNull());
        QVERIFY(first.headers.contains(qMakePair(QByteArray("Content-Type"), QByteArray("application/json"))));
        QVERIFY(first.body.isEmpty());
        QCOMPARE(log.last().method, QByteArray("GET"));
        m_sim->clearRequests();
        QVERIFY(m_sim->requests().isEmpty());
    }

    void getAnswersLikePost()
    {
        const QByteArray query = "token=" + login() + "&gatewaySn=&size=30&index=2";
        const Answer post = call(port(), "gatewayVagueFind", query);
        QCOMPARE(post.code(), 100);
        QCOMPARE(call(port(), "gatewayVagueFind", query, false).body, post.body);
    }

    void unknownOperation()
    {
        const Answer answer = call(port(), "noSuchOperation", "token=" + login());
        QCOMPARE(answer.status, 404);
        QCOMPARE(answer.code(), 404);
        QCOMPARE(m_sim->requests(QStringLiteral("noSuchOperation")).size(), 1);
    }

    void faults_data()
    {
        QTest::addColumn<int>("forcedCode"); // -1: none
        QTest::addColumn<int>("httpStatus"); // -1: none
        QTest::addColumn<int>("body");       // Fault::Body
        QTest::addColumn<int>("expectedStatus");
        QTest::addColumn<int>("expectedCode"); // -1: not JSON
        const int normal = int(Fault::Body::Normal);
        QTest::newRow("forced code") << 10002 << -1 << normal << 200 << 10002;
        QTest::newRow("status 500") << -1 << 500 << normal << 500 << 100;
        QTest::newRow("status 500 with 10002") << 10002 << 500 << normal << 500 << 10002;
        QTest::newRow("not JSON") << -1 << -1 << int(Fault::Body::NotJson) << 200 << -1;
        QTest::newRow("truncated") << -1 << -1 << int(Fault::Body::Truncated) << 200 << -1;
        QTest::newRow("custom body") << -1 << 502 << int(Fault::Body::Custom) << 502 << 7;
    }
    void faults()
    {
        QFETCH(int, forcedCode);
        QFETCH(int, httpStatus);
        QFETCH(int, body);
        QFETCH(int, expectedStatus);
        QFETCH(int, expectedCode);
        const QByteArray token = login();
        const QByteArray query = "token=" + token + "&gatewaySn=&size=30&index=1";
        const Answer normal = call(port(), "gatewayVagueFind", query);
        QCOMPARE(normal.code(), 100);

        Fault fault;
        if (forcedCode >= 0)
            fault.code = forcedCode;
        if (httpStatus >= 0)
            fault.httpStatus = httpStatus;
        fault.body = Fault::Body(body);
        fault.customBody = R"({"code":7})";
        m_sim->setFault(QStringLiteral("gatewayVagueFind"), fault);
        for (int round = 0; round < 2; ++round) { // stays until cleared
            const Answer faulted = call(port(), "gatewayVagueFind", query);
            QVERIFY(faulted.transferred);
            QCOMPARE(faulted.status, expectedStatus);
            QCOMPARE(faulted.code(), expectedCode);
            if (fault.body == Fault::Body::Truncated)
                QCOMPARE(faulted.body, normal.body.left(normal.body.size() / 2));
            if (fault.code && fault.body == Fault::Body::Normal) // the rest of the reply as usual
                QVERIFY(member(faulted.json().get(), "page"));
        }
        QCOMPARE(call(port(), "getSiteInfo", "token=" + token + "&gatewaySn=KV2410A0001").code(),
                 100); // other operations
        m_sim->clearFaults();
        QCOMPARE(call(port(), "gatewayVagueFind", query).body, normal.body);
    }

    void faultTimesAndEffects()
    {
        const QByteArray token = login();
        const QByteArray bind =
            "token=" + token + "&gatewaySn=TAP-DEMO-0001&passWord=Tap%400001&size=30&index=1&localip=pc";
        Fault refuse;
        refuse.code = 10001;
        refuse.times = 2;
        m_sim->setFault(QStringLiteral("tapAuthLogin"), refuse);
        QCOMPARE(call(port(), "tapAuthLogin", bind).code(), 10001);
        QCOMPARE(call(port(), "tapAuthLogin", bind).code(), 10001);
        // The client saw a refusal, so the platform did not bind the TAP either.
        QVERIFY(m_sim->world().findTap(QStringLiteral("TAP-DEMO-0001"))->boundFingerprint.isEmpty());
        QCOMPARE(call(port(), "tapAuthLogin", bind).code(), 100);
        QCOMPARE(m_sim->world().findTap(QStringLiteral("TAP-DEMO-0001"))->boundFingerprint, QStringLiteral("pc"));
        QCOMPARE(m_sim->requests(QStringLiteral("tapAuthLogin")).size(), 3);
    }

    void dropAndDelay()
    {
        Fault drop;
        drop.dropConnection = true;
        drop.times = 1;
        m_sim->setFault(QStringLiteral("getLintraToken"), drop);
        const QByteArray query = "userName=demo&passWord=Demo%402026";
        QVERIFY(!call(port(), "getLintraToken", query).transferred);
        QCOMPARE(m_sim->requests(QStringLiteral("getLintraToken")).size(), 1); // recorded all the same
        QCOMPARE(call(port(), "getLintraToken", query).code(), 100);

        Fault slow;
        slow.delayMs = 5000;
        slow.times = 1;
        m_sim->setFault(QStringLiteral("getLintraToken"), slow);
        QVERIFY(!call(port(), "getLintraToken", query, true, 300).transferred); // the client gives up first
        Fault late;
        late.delayMs = 50;
        late.times = 1;
        m_sim->setFault(QStringLiteral("getLintraToken"), late);
        QCOMPARE(call(port(), "getLintraToken", query).code(), 100);
    }

    void reportsAreRecorded()
    {
        const QByteArray token = login();
        const QByteArray tap = "&gatewaySn=TAP-DEMO-0001";
        QCOMPARE(call(port(), "updateTunnelAndTapState",
                      "token=" + token + tap + "&tunnelOnline=1&tapOnline=1&flowData=4096")
                     .code(),
                 100);
        QCOMPARE(
            call(port(), "updateTunnelAndTapState", "token=" + token + tap + "&tunnelOnline=0&tapOnline=1&flowData=0")
                .code(),
            100);
        QCOMPARE(call(port(), "tunnelAlarmData", "token=" + token + tap + "&warnSort=1&warnType=3").code(), 100);
        QCOMPARE(call(port(), "clientRestartProject", "token=" + token + tap).code(), 100);
        World world = m_sim->world();
        QCOMPARE(world.stateReports.size(), 2);
        QCOMPARE(world.stateReports.at(0).tunnelOnline, 1);
        QCOMPARE(world.stateReports.at(0).flowData, qint64(4096));
        QCOMPARE(world.stateReports.at(1).tunnelOnline, 0);
        QCOMPARE(world.findTap(QStringLiteral("TAP-DEMO-0001"))->flowTotal, qint64(4096));
        QCOMPARE(world.findTap(QStringLiteral("TAP-DEMO-0001"))->tunnelOnline, 0);
        QCOMPARE(world.findGateway(QStringLiteral("TAP-DEMO-0001"))->tunnelOnline, 0);
        QCOMPARE(world.alarmReports.size(), 1);
        QCOMPARE(world.alarmReports.first().warnSort, 1);
        QCOMPARE(world.alarmReports.first().warnType, 3);
        QCOMPARE(world.findTap(QStringLiteral("TAP-DEMO-0001"))->lastWarnType, 3);
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
