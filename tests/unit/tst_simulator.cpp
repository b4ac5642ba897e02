// Contract of the platform simulator: the replies the client reads (members, JSON types, codes),
// paging, percent-decoding, the request log and fault injection, over HTTPS on 127.0.0.1.
#include "support/simfixture.h"

#include <QUrl>
#include <QtTest>
#include <algorithm>
#include <chrono>
#include <cjson/cJSON.h>
#include <httplib.h>
#include <memory>

using namespace sim;

namespace {

struct Answer {
    int status = 0; // 0: no reply
    QByteArray contentType, body;
    std::shared_ptr<cJSON> json;

    // A dotted path of member names and array indexes, e.g. "data.0.gatewaySn".
    const cJSON *at(const QByteArray &path) const
    {
        const cJSON *node = json.get();
        for (const QByteArray &part : path.split('.'))
            node = cJSON_IsArray(node) ? cJSON_GetArrayItem(node, part.toInt())
                                       : cJSON_GetObjectItemCaseSensitive(node, part.constData());
        return node;
    }
    int number(const QByteArray &path) const { return cJSON_IsNumber(at(path)) ? at(path)->valueint : -1; }
    QString text(const QByteArray &path) const { return QString::fromUtf8(cJSON_GetStringValue(at(path))); }
    int code() const { return number("code"); }
    int rows() const { return cJSON_IsArray(at("data")) ? cJSON_GetArraySize(at("data")) : -1; }
    // The named members of every row of "data" (or of "data" itself when it is an object), joined by
    // commas; with types set, their JSON types instead (n, s, ?).
    QString values(const QByteArray &names, bool types = false) const
    {
        QStringList out;
        for (int row = 0; row < std::max(rows(), 1); ++row)
            for (const QByteArray &name : names.split(' ')) {
                const QByteArray path = rows() < 0 ? "data." + name : "data." + QByteArray::number(row) + "." + name;
                const char type = cJSON_IsNumber(at(path)) ? 'n' : cJSON_IsString(at(path)) ? 's' : '?';
                out << (types ? QString(QLatin1Char(type)) : type == 'n' ? QString::number(number(path)) : text(path));
            }
        return rows() == 0 ? QString() : out.join(QLatin1String(types ? "" : ","));
    }
};

int simulatorPort = 0;

Answer call(const QByteArray &operation, const QByteArray &query, int timeoutMs = 10000)
{
    httplib::SSLClient client("127.0.0.1", simulatorPort);
    client.enable_server_certificate_verification(false); // the client's own tests check the demo PKI
    client.set_url_encode(false);                         // queries go out exactly as written here
    client.set_read_timeout(std::chrono::milliseconds(timeoutMs));
    const auto r = client.Post("/lintraApi/" + operation.toStdString() + "?" + query.toStdString(), std::string(),
                               "application/json");
    if (!r)
        return {};
    const QByteArray body = QByteArray::fromStdString(r->body);
    return {r->status, QByteArray::fromStdString(r->get_header_value("Content-Type")), body,
            std::shared_ptr<cJSON>(cJSON_ParseWithLength(body.constData(), body.size()), cJSON_Delete)};
}

QByteArray login() { return call("getLintraToken", "userName=demo&passWord=Demo%402026").text("data.token").toUtf8(); }
Answer withToken(const QByteArray &op, const QByteArray &rest) { return call(op, "token=" + login() + rest); }

} // namespace

class TestSimulator : public QObject {
    Q_OBJECT

    SimFixture m_sim;

private slots:
    void init()
    {
        QVERIFY(m_sim.isRunning());
        simulatorPort = m_sim->port();
        m_sim->editWorld([](World &w) { w = demoWorld(); });
        m_sim->clearFaults();
        m_sim->clearRequests();
    }

    void tokens()
    {
        const std::pair<const char *, int> cases[] = {
            {"userName=engineer&passWord=Field%20%231%20%26%20co%2B", 100},
            {"userName=engineer&passWord=Field%20%231%20%26%20co%20", 10001}, // '+' is no space
            {"userName=zhangwei&passWord=%E5%BC%A0%E4%BC%9F2026", 100}, {"userName=nobody&passWord=Demo%402026", 10001},
        };
        for (const auto &[query, code] : cases) {
            const Answer first = call("getLintraToken", query), second = call("getLintraToken", query);
            QVERIFY2(first.code() == code && first.text("data.token").isEmpty() == (code != 100), query);
            QVERIFY(code != 100 || first.text("data.token") != second.text("data.token")); // every grant is fresh
        }
        // One query carrying every operation's keys; each operation reads the ones it needs.
        const QByteArray rest = "&gatewaySn=TAP-DEMO-0001&passWord=Tap%400001&customerId=1001&size=30&index=1"
                                "&localip=f&ids=10001,&tunnelOnline=1&tapOnline=1&flowData=0&warnSort=1&warnType=1";
        const QByteArray operations = "tapAuthLogin updateTapAuth getCustomerInfo getConfigParam getDownload "
                                      "clientRestartProject gatewayVagueFind getSiteInfo devicesList gatewayBatchFind "
                                      "devicesBatchFind updateTunnelAndTapState tunnelAlarmData";
        const QByteArray expired = "token=" + login();
        m_sim->expireAllTokens();
        const QByteArray token = "token=" + login();
        for (const QByteArray &op : operations.split(' '))
            QVERIFY2(call(op, token + rest).code() != 10002 && call(op, expired + rest).code() == 10002
                         && call(op, "token=x" + rest).code() == 10002 && call(op, rest.mid(1)).code() == 10002,
                     op.constData());
    }

    void tapAuthLogin()
    {
        const std::tuple<const char *, const char *, int> cases[] = {
            {"TAP-DEMO-0002&passWord=Tap%20%232%20%26%20+x", "a", 100},
            {"TAP-DEMO-0001&passWord=Tap%400002", "a", 10001},
            {"TAP-DEMO-0008&passWord=Tap%400008", "a", 10003}, {"TAP-NONE&passWord=Tap%400001", "a", 10005},
            {"TAP-DEMO-0008&passWord=Tap%400008", "9b1f6a3c0d2e4f5a6b7c8d9e0f1a2b3c", 100}, // bound to this PC
            {"TAP-DEMO-0009&passWord=Tap%400009", "a", 10004},
        };
        for (const auto &[serialAndPassword, fingerprint, code] : cases) {
            const Answer answer = withToken("tapAuthLogin", "&gatewaySn=" + QByteArray(serialAndPassword) +
                                                                "&size=30&index=1&localip=" + fingerprint);
            QVERIFY2(answer.code() == code, serialAndPassword);
            const QString sn = QStringLiteral("sn").repeated(30), ids = QStringLiteral("1001,").repeated(30).chopped(1);
            QVERIFY(code != 100 || (answer.number("page.count") == 75 && answer.values("customerId") == ids
                                    && answer.values("gatewaySn tunnelOnline", true) == sn));
        }
    }

    void gatewayVagueFind()
    {
        const int pages[][2] = {{1, 30}, {2, 30}, {3, 15}, {4, 0}, {0, 0}, {-1, 0}}; // index, rows
        for (const auto &[index, rows] : pages) {
            const Answer answer = withToken("gatewayVagueFind", "&gatewaySn=&gatewayName=&siteName=&customerId=1001"
                                                                "&size=30&index=" + QByteArray::number(index));
            QCOMPARE(QList<int>({answer.number("page.count"), answer.number("page.index"), answer.rows()}),
                     QList<int>({75, index, rows}));
        }
        const std::tuple<const char *, const char *, const char *, int> gateways[] = {
            {"S-1", "泵站网关-01", "苏州工业园区一号泵站", 1001}, {"S-2", "A&B +1% 水厂", "姑苏区一号自来水厂", 1001},
            {"S-3", "泵站网关-03", "吴中区二号雨水泵站", 1001}, {"S-4", "泵站网关-04", "别家的泵站", 1002}};
        m_sim->editWorld([&gateways](World &w) {
            w.gateways.clear();
            for (const auto &[sn, name, site, owner] : gateways)
                w.gateways << Gateway{QString::fromUtf8(sn), QString::fromUtf8(name), owner, 0, 0,
                                      {QString::fromUtf8(site)}};
        });
        const std::tuple<const char *, const char *, const char *> searches[] = {
            {"siteName", "", "S-1,S-2,S-3"},   {"gatewaySn", "s-2", "S-2"}, {"siteName", "泵站", "S-1,S-3"},
            {"gatewayName", "A&B +1%", "S-2"}, {"siteName", "不存在", ""},
        };
        for (const auto &[field, term, expected] : searches) {
            const QByteArray query = "&" + QByteArray(field) + "=" + QUrl::toPercentEncoding(QString::fromUtf8(term));
            const Answer answer = withToken("gatewayVagueFind", query + "&customerId=1001&size=30&index=1");
            QCOMPARE(answer.values("gatewaySn"), QString::fromUtf8(expected));
            QCOMPARE(answer.number("page.count"), answer.rows());
        }
    }

    void siteInfoDownloadAndDevices()
    {
        const QByteArray members = "siteName siteWanIp siteLanIp siteAddress tunnelAddress1 createtimes flowDatas "
                                   "updateTimes gatewayCsq siteSort siteEnabled isVirtuaIp tunnelOnline gatewayOnline "
                                   "siteNetType";
        for (const char *serial : {"KV2410A0011", "TAP-DEMO-0002"})
            QCOMPARE(withToken("getSiteInfo", "&gatewaySn=" + QByteArray(serial)).values(members, true),
                     QStringLiteral("sssssssssnnnnnn"));
        QVERIFY(withToken("getSiteInfo", "&gatewaySn=KV0000X9999").code() != 100);
        const Answer pem = withToken("getDownload", "&gatewaySn=TAP-DEMO-0001");
        QVERIFY(pem.status == 200 && pem.contentType.startsWith("text/plain") && pem.body == demoCaPem());


        const World world = m_sim->world();
        const auto many = std::find_if(world.gateways.begin(), world.gateways.end(),
                                       [](const Gateway &g) { return g.devices.size() > 25; });
        QVERIFY(many != world.gateways.end());
        const QByteArray query = "&gatewaySn=" + many->gatewaySn.toUtf8() + "&size=25&customerId=1001&index=";
        for (int page = 1; page <= 3; ++page) {
            const Answer answer = withToken("devicesList", query + QByteArray::number(page));
            QCOMPARE(answer.number("page.count"), many->devices.size());
            QStringList ids;
            for (const Device &device : many->devices.mid((page - 1) * 25, 25))
                ids << QString::number(device.deviceId);
            QCOMPARE(answer.values("deviceId"), ids.join(QLatin1Char(',')));
            QCOMPARE(answer.values("realIp virtualIp deviceName deviceOnline deviceClassify", true),
                     QStringLiteral("sssnn").repeated(ids.size()));
        }
        m_sim->editWorld([](World &w) {
            w.findGateway(QStringLiteral("KV2410A0003"))->tunnelOnline = 1;
            w.findGateway(QStringLiteral("KV2410A0001"))->tunnelOnline = 0;
            w.findDevice(10002)->deviceOnline = 0;
            w.findDevice(10005)->deviceOnline = 1;
        });
        // Batch replies follow the request's order and skip unknown entries.
        QCOMPARE(withToken("gatewayBatchFind", "&gatewaySn=KV2410A0003,NOPE,KV2410A0001,")
                     .values("gatewaySn tunnelOnline"), QStringLiteral("KV2410A0003,1,KV2410A0001,0"));
        QCOMPARE(withToken("devicesBatchFind", "&ids=10005,999999,10002,").values("deviceId deviceOnline"),
                 QStringLiteral("10005,1,10002,0"));
        QCOMPARE(withToken("devicesBatchFind", "&ids=").rows(), 0);
    }

    void requestLogAndDecoding()
    {
        const QByteArray raw = "token=t&s=a%26b&s=a+b&p=100%25&sp=a%20b&zh=%E8%8B%8F%e5%b7%9e&bad=50%zz%4&empty=&bare";
        call("getSiteInfo", raw);
        const QList<RecordedRequest> log = m_sim->requests(QStringLiteral("getSiteInfo"));
        QCOMPARE(log.size(), 1);
        const RecordedRequest &first = log.first();
        QCOMPARE(first.method + ' ' + first.rawQuery, "POST " + raw);
        QStringList pairs;
        for (const auto &[key, value] : first.query)
            pairs << key + QLatin1Char('=') + value;
        QCOMPARE(pairs.join(QLatin1Char('|')),
                 QStringLiteral("token=t|s=a&b|s=a+b|p=100%|sp=a b|zh=苏州|bad=50%zz%4|empty=|bare="));
        QVERIFY(first.value(QStringLiteral("missing")).isNull() && !first.value(QStringLiteral("empty")).isNull()
                && first.value(QStringLiteral("s")) == QStringLiteral("a&b"));
        QVERIFY(first.headers.contains(qMakePair(QByteArray("Content-Type"), QByteArray("application/json"))));
    }

    void faults()
    {
        using Body = Fault::Body;
        // fault, status (0: no reply), code (-1: not JSON)
        const std::tuple<Fault, int, int> cases[] = {
            {Fault{10002}, 200, 10002}, {Fault{{}, 500}, 500, 100},
            {Fault{{}, {}, Body::NotJson}, 200, -1}, {Fault{{}, {}, Body::Truncated}, 200, -1},
            {Fault{{}, 502, Body::Custom, R"({"code":7})"}, 502, 7},
            {Fault{{}, {}, Body::Normal, {}, 0, true}, 0, -1}, // dropped connection
            {Fault{{}, {}, Body::Normal, {}, 1500}, 0, -1},    // delay beyond the client's patience
        };
        const QByteArray query = "token=" + login() + "&gatewaySn=&size=30&index=1";
        const Answer normal = call("gatewayVagueFind", query);
        for (auto [fault, status, code] : cases) {
            m_sim->clearRequests();
            fault.times = 2;
            m_sim->setFault(QStringLiteral("gatewayVagueFind"), fault);
            for (int round = 0; round < 2; ++round) {
                const Answer faulted = call("gatewayVagueFind", query, fault.delayMs ? 300 : 10000);
                QCOMPARE(qMakePair(faulted.status, faulted.code()), qMakePair(status, code));
                QVERIFY(fault.body != Body::Truncated || faulted.body == normal.body.left(normal.body.size() / 2));
                QVERIFY(!fault.code || faulted.number("page.count") == 75); // the rest of the reply as usual
            }
            QCOMPARE(withToken("getSiteInfo", "&gatewaySn=KV2410A0001").code(), 100); // other operations untouched
            QCOMPARE(call("gatewayVagueFind", query).body, normal.body);
            QCOMPARE(m_sim->requests(QStringLiteral("gatewayVagueFind")).size(), 3); // recorded even when dropped
        }
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
