// Binding a TAP to this PC: by hand from the bind page, automatically at login from TAPBOUND.ini,
// the main window's side of a release, and hostile replies and files on the way.
#include "mainwindow/mainwindow.h"
#include "mainwindow/userdesign.h"
#include "store/tapbindingstore.h"
#include "support/bindinghelpers.h"
#include "support/filefaults.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"

#include <QCryptographicHash>
#include <QTimer>
#include <QtTest>

#include <memory>

using namespace bindingtest;
using capturedLog::debugLines;
using capturedLog::warnings;

namespace {

const QString kTapAuthLogin = QStringLiteral("tapAuthLogin");
const QString kGetToken = QStringLiteral("getLintraToken");
const QString kOn = QStringLiteral(":/image/VPN_ON.png");
const QString kOff = QStringLiteral(":/image/VPN_OFF.png");
const QString kNotBound = QStringLiteral("检测到您在本机尚未绑定TAP，请先进行绑定！");

enum FileOutcome { Kept, Added, Removed };

struct Reply {
    bool automatic;
    int trouble;
    QByteArray body;       // the reply, with Custom
    QString text, logLine; // of the box (empty: no box) and the log
    int file, gateways;    // FileOutcome; gateways in the tree once bound, -1: not bound
};

} // namespace

Q_DECLARE_METATYPE(Reply)

class TestTapBinding : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initKorvaneResources();
        capturedLog::install(true);
    }
    void cleanupTestCase() { capturedLog::install(false); }
    void init() { warnings = debugLines = QStringList(); }

    void bindingReply_data()
    {
        QTest::addColumn<Reply>("reply");

        // An expired session, an unreachable platform or an unreadable reply say nothing about a
        // stored binding: it stays.
        const auto add = [](const char *name, bool automatic, int trouble, const char *text, const char *log,
                            FileOutcome file) {
            QTest::newRow(name) << Reply{automatic, trouble, {}, QString::fromUtf8(text), QString::fromUtf8(log), file,
                                         trouble ? -1 : 30};
        };
        add("manual 100", false, 0, "", "", Added);
        add("manual 10001", false, 10001, "序列号与密码不匹配", "登录序列号与密码不匹配", Kept);
        // The platform forgot the session (restarted): a new token, and the binding goes through.
        QTest::newRow("manual 10002") << Reply{false, 10002, {}, {}, {}, Added, 30};
        add("manual 10003", false, 10003, "该网关序列号已在别处登录", "网关序列号异地登录", Kept);
        add("manual 10004", false, 10004, "该序列号不能做登录操作", "序列号不能做登录操作", Kept);
        add("manual 10005", false, 10005, "该序列号不存在", "登录该序列号不存在", Kept);
        add("manual other code", false, 10099, "", "", Kept);
        add("manual not JSON", false, NotJson, "", "", Kept);
        add("manual truncated", false, Truncated, "", "", Kept);
        add("manual transfer failed", false, Drop, "服务器验证失败，请稍后重试", "TAP绑定失败，网络连接错误", Kept);
        add("automatic 100", true, 0, "", "", Kept);
        add("automatic 10001", true, 10001, "您绑定的TAP密码或更改，请重新绑定", "error:10001 自动绑定TAP失败，账号密码不匹配",
            Removed);
        add("automatic 10002", true, 10002, "请求失效，请重试", "error:10002 自动绑定TAP失败，Token已失效", Kept);
        add("automatic 10003", true, 10003, "您绑定的TAP已在别处绑定登录", "error:10003 自动绑定TAP失败，TAP已在异地登录",
            Removed);
        add("automatic 10004", true, 10004, "", "", Removed);
        add("automatic other code", true, 20001, "", "", Removed);
        add("automatic transfer failed", true, Drop, "", "", Kept);
        add("automatic not JSON", true, NotJson, "", "", Kept);

        // Hostile replies, each manual and automatic: hasCode says whether a reply code can be read.
        const auto bad = [](const char *name, const QByteArray &body, bool hasCode, int gateways) {
            for (const bool automatic : {false, true}) {
                // The file is written only by a manual success and cut only by a real refusal.
                const FileOutcome file =
                    gateways >= 0 ? (automatic ? Kept : Added) : automatic && hasCode ? Removed : Kept;
                QTest::addRow("%s %s", automatic ? "automatic" : "manual", name)
                    << Reply{automatic, Custom, body, {}, {}, file, gateways};
            }
        };
        const QByteArray row = R"({"gatewaySn":"GW-A","tunnelOnline":1,"customerId":1001})";
        const auto page = [](const QByteArray &data) {
            return R"({"code":100,"page":{"size":30,"count":2,"index":1},"data":)" + data + "}";
        };
        bad("empty body", "", false, -1);
        bad("JSON array", R"([100, {"code":100}])", false, -1);
        bad("code as text", R"({"code":"100","data":[]})", false, -1);
        bad("code out of range", R"({"code":1e300,"data":[]})", true, -1);
        bad("nested 100000 deep", QByteArray(100000, '[') + QByteArray(100000, ']'), false, -1);
        bad("page is an array", R"({"code":100,"page":[30,2,1],"data":[)" + row + "]}", true, 0);
        bad("data is an object", page(row), true, 0);
        bad("numeric serial", page("[" + row + R"(,{"gatewaySn":5,"tunnelOnline":0,"customerId":1001},)" + row + "]"),
            true, 1);
        bad("tunnel state is text", page(R"([{"gatewaySn":"GW-B","tunnelOnline":"1","customerId":1001}])"), true, 0);
        bad("row is not an object", page("[7," + row + "]"), true, 0);
        bad("serial not UTF-8", page("[{\"gatewaySn\":\"GW-\xff\xfe\",\"tunnelOnline\":0,\"customerId\":1001}]"), true,
            1);
        bad("negative count", R"({"code":100,"page":{"size":30,"count":-5,"index":1},"data":[)" + row + "]}", true, 1);
        bad("5000 rows", gatewayPage(5000), true, 5000);
    }

    void bindingReply()
    {
        QFETCH(Reply, reply);
        const auto &[automatic, trouble, body, text, logLine, file, gateways] = reply;
        Scene scene;
        QVERIFY(scene.isReady());
        // A tunnel device with an address: the launch after a binding logs no adapter warning.
        scene.host.adapterList = {{QStringLiteral("TAP-Linux tun korvane0"), {QStringLiteral("10.8.0.6")}}};
        storeBinding(demo::engineer, demo::tap2, demo::tap2Password);
        if (automatic)
            storeBinding(demo::user, demo::tap, demo::tapPassword);
        const QByteArray fileBefore = fileBytes();
        if (automatic || trouble != 10002)
            scene.platform->setFault(kTapAuthLogin, fault(trouble, body));
        int tokenRequestsAtBox = -1;
        scene.boxes.setOnPresent(
            [&](const MessageBoxes::Request &) { tokenRequestsAtBox = scene.requestCount(kGetToken); });
        MainWindow window;
        window.show();
        QVERIFY(logIn(window, demo::user, demo::password));
        if (!automatic) {
            QCOMPARE(shownBoxes(scene.boxes), QStringList(QStringLiteral("warning/window/提示/") + kNotBound));
            scene.boxes.clear();
            tokenRequestsAtBox = -1;
            if (trouble == 10002) // the platform's own expiry, so that the retry below proves the fresh token
                scene.platform->expireAllTokens();
            bindManually(window, demo::tap, demo::tapPassword);
        }

        const QList<sim::RecordedRequest> binds = scene.platform->requests(kTapAuthLogin);
        // 10002: the token renewed once and the binding sent once more with it.
        QCOMPARE(binds.size(), trouble == 10002 ? 2 : 1);
        if (trouble == 10002)
            QCOMPARE(binds.last().value(QStringLiteral("token")).toUtf8(), window.sessionToken);
        QCOMPARE(binds.first().value(QStringLiteral("gatewaySn")) + binds.first().value(QStringLiteral("passWord")),
                 demo::tap + demo::tapPassword);
        const QString box = automatic         ? QStringLiteral("about/none/提示/")
                            : trouble == Drop ? QStringLiteral("critical/none/绑定失败/")
                                              : QStringLiteral("critical/none/登录失败/");
        // A binding opens the tunnel, which needs the customer the gateway page names.
        QStringList expectedBoxes = text.isEmpty() ? QStringList() : QStringList(box + text);
        if (gateways == 0)
            expectedBoxes << QStringLiteral("warning/none/提示/该项目尚未开启，请先开启项目");
        QCOMPARE(shownBoxes(scene.boxes), expectedBoxes);
        QCOMPARE(scene.host.startedInterpreters.size(), gateways > 0 ? 1 : 0);
        QCOMPARE(warnings, logLine.isEmpty() ? QStringList() : QStringList(logLine));
        // Only an expired session asks for a new token, before any box.
        QCOMPARE(scene.requestCount(kGetToken), trouble == 10002 ? 2 : 1);
        QCOMPARE(tokenRequestsAtBox, expectedBoxes.isEmpty() ? -1 : trouble == 10002 ? 2 : 1);
        QCOMPARE(window.sessionToken != binds.first().value(QStringLiteral("token")).toUtf8(), trouble == 10002);
        if (file == Kept)
            QCOMPARE(fileBytes(), fileBefore);
        else
            QCOMPARE(storedBindings(),
                     (file == Added ? QStringList(binding(demo::user, demo::tap, demo::tapPassword)) : QStringList()) +
                         QStringList(binding(demo::engineer, demo::tap2, demo::tap2Password)));
        QCOMPARE(window.boundUserNames, TapBindingStore::load().userNames);

        const bool bound = gateways >= 0;
        QCOMPARE(*window.tapBound, bound);
        QCOMPARE(showsBindPage(window), !bound);
        QCOMPARE(int(window.watchdogTimer->isActive()) + int(window.reportTimer->isActive()), bound ? 2 : 0);
        QCOMPARE(window.ui->treeWidget->topLevelItemCount(), bound ? 1 : 0);
        QCOMPARE(window.rootItem ? window.rootItem->childCount() : -1, gateways);
        if (bound) {
            QCOMPARE(window.tapSerial + window.tapPassword, (demo::tap + demo::tapPassword).toUtf8());
            QCOMPARE(window.watchdogTimer->interval() + window.reportTimer->interval(), 2 * 60000);
            QVERIFY(window.ui->stackedWidget->currentIndex() == 0 &&
                    window.ui->WG_Current_Page->text() == QLatin1String("1") &&
                    showsPicture(window.ui->siteRunstatus_2, QStringLiteral(":/image/对.png")));
            QVERIFY(window.rootItem == window.ui->treeWidget->topLevelItem(0) &&
                    window.rootItem->text(0) == QLatin1String("Korvane"));
            // The customer's first page with the tunnel icons, as the platform holds it.
            int row = 0;
            for (const sim::Gateway &gateway : scene.platform->world().gateways) {
                if (trouble != 0 || gateway.customerId != 1001 || row == 30)
                    continue;
                const QTreeWidgetItem *item = window.rootItem->child(row++);
                QCOMPARE(item->text(0), gateway.gatewaySn);
                QCOMPARE(item->icon(0).pixmap(16).toImage(),
                         QIcon(gateway.tunnelOnline ? kOn : kOff).pixmap(16).toImage());
            }
            return;
        }
        // Unbound for the rest of the session, whatever the failure (the stored binding may stay for the
        // next login): both tab buttons lead to the bind page.
        QCOMPARE(window.tapSerial, QByteArrayLiteral("unbound"));
        for (QToolButton *tab : {window.ui->searchGwPage, window.ui->showAllGwList}) {
            tab->click();
            QVERIFY(showsBindPage(window));
        }
        // The user may correct and retry.
        QCOMPARE(window.ui->b_tap_LineEdit->text(), automatic ? QString() : demo::tap);
    }

    void twoUsersOnOnePc()
    {
        Scene scene;
        QVERIFY(scene.isReady());
        scene.host.hardware =
            QStringLiteral("Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz|14|28|BFEBFBFF000406F1|"
                           "/7XK9M2/CN1296|7XK9M2|4c4c4544-0058-4b10-8039-b7c04f4d3932|S3Z1NX0K123456")
                .split(QLatin1Char('|'));
        const QByteArray fingerprint =
            QCryptographicHash::hash(scene.host.hardware.join(QString()).toUtf8(), QCryptographicHash::Md5).toHex();
        {
            MainWindow firstRun;
            QVERIFY(logIn(firstRun, demo::engineer, demo::engineerPassword));
            for (const auto &fields : {qMakePair(QString(), demo::tap2Password), qMakePair(demo::tap2, QString()),
                                       qMakePair(QString(), QString())}) {
                scene.boxes.clear();
                bindManually(firstRun, fields.first, fields.second);
                QCOMPARE(shownBoxes(scene.boxes),
                         QStringList(QStringLiteral("warning/window/警告/TAP或密码不能为空！")));
            }
            // An empty field sends nothing and leaves no file.
            QVERIFY(scene.requestCount(kTapAuthLogin) == 0 && scene.host.hardwareQueries == 0);
            QVERIFY(!QFile::exists(TapBindingStore::filePath()) && showsBindPage(firstRun) && !*firstRun.tapBound);
            // Enter in the password field binds, as the button does.
            firstRun.ui->b_tap_LineEdit->setText(demo::tap2);
            firstRun.ui->b_tap_pswd_lineEdit->setText(demo::tap2Password);
            QTest::keyClick(firstRun.ui->b_tap_pswd_lineEdit, Qt::Key_Return);
            QCOMPARE(scene.requestCount(kTapAuthLogin), 1);
            QVERIFY(*firstRun.tapBound);
            QCOMPARE(scene.platform->requests(kTapAuthLogin).value(0).rawQuery,
                     "token=" + firstRun.sessionToken + "&gatewaySn=TAP-DEMO-0002&passWord=Tap%20%232%20%26%20%2Bx" +
                         "&size=30&index=1&localip=" + fingerprint);
            MainWindow secondRun;
            QVERIFY(logIn(secondRun, demo::user, demo::password));
            bindManually(secondRun, demo::tap, demo::tapPassword);
            QVERIFY(*secondRun.tapBound);
        }
        QCOMPARE(storedBindings(), QStringList({binding(demo::user, demo::tap, demo::tapPassword),
                                                binding(demo::engineer, demo::tap2, demo::tap2Password)}));
        scene.boxes.clear();
        scene.platform->clearRequests();
        for (const auto &user :
             {qMakePair(demo::engineer, demo::engineerPassword), qMakePair(demo::user, demo::password)}) {
            MainWindow nextRun;
            QVERIFY(logIn(nextRun, user.first, user.second));
            const QString own = user.first == demo::user ? demo::tap : demo::tap2;
            QCOMPARE(nextRun.tapSerial, own.toUtf8());
            QCOMPARE(scene.platform->requests(kTapAuthLogin).last().value(QStringLiteral("gatewaySn")), own);
        }
        QVERIFY(scene.boxes.isEmpty());
        QCOMPARE(scene.requestCount(kTapAuthLogin), 2);
    }

    void releaseStopsTheTunnelOfTheBoundTap()
    {
        Scene scene;
        QVERIFY(scene.isReady());
        storeBinding(demo::engineer, demo::tap2, demo::tap2Password);
        storeBinding(demo::user, demo::tap, demo::tapPassword);
        MainWindow window;
        window.show();
        QVERIFY(logIn(window, demo::user, demo::password));
        window.ui->b_tap_LineEdit->setText(demo::tap);
        window.ui->b_tap_pswd_lineEdit->setText(demo::tapPassword);
        // A connected tunnel of the bound TAP, newest first, behind it a stale entry of another TAP.
        window.tunnelTapList = QStringList{demo::tap, QStringLiteral("TAP-OLD-0001")};
        window.tunnelInfoList = QStringList{demo::tapPassword, QStringLiteral("old")};
        window.tunnelPidList = QStringList{QStringLiteral("4242"), QStringLiteral("77")};
        window.tunnelConnected = window.tunnelProcessStarted = true;
        window.ui->siteRunstatus->setPixmap(QPixmap(kOn));
        scene.platform->clearRequests();

        // While the binding stands the signal changes nothing.
        emit window.userDesign->closeSon();
        QVERIFY(scene.host.killedProcessIds.isEmpty() && scene.platform->requests().isEmpty());
        QVERIFY(window.tunnelConnected && window.tunnelTapList.size() == 2 && window.tapSerial == demo::tap.toUtf8());
        QVERIFY(window.ui->stackedWidget->currentIndex() == 0 && window.rootItem->childCount() == 30 &&
                window.boundUserNames.size() == 2);

        // What the user settings dialog does after the platform took the release.
        *window.tapBound = false;
        emit window.userDesign->closeSon();
        QCOMPARE(scene.host.killedProcessIds, QStringList(QStringLiteral("4242")));
        QCOMPARE(window.tunnelTapList + window.tunnelInfoList + window.tunnelPidList,
                 QStringList({QStringLiteral("TAP-OLD-0001"), QStringLiteral("old"), QStringLiteral("77")}));
        QVERIFY(showsPicture(window.ui->siteRunstatus, kOff) &&
                debugLines.contains(QStringLiteral("TAP绑定解除，通道关闭")));
        QVERIFY(!window.tunnelConnected && window.reconnectSuppressed && !window.tunnelProcessStarted);
        QStringList sent;
        for (const sim::RecordedRequest &request : scene.platform->requests())
            sent.append(request.operation + QLatin1Char(' ') + request.value(QStringLiteral("gatewaySn")) +
                        QLatin1Char(' ') + request.value(QStringLiteral("tunnelOnline")) +
                        request.value(QStringLiteral("warnType")));
        QCOMPARE(sent, QStringList({QStringLiteral("updateTunnelAndTapState TAP-DEMO-0001 0"),
                                    QStringLiteral("tunnelAlarmData TAP-DEMO-0001 1")}));
        QCOMPARE(window.tapSerial, QByteArrayLiteral("unbound"));
        QVERIFY(showsBindPage(window) && !window.rootItem && window.ui->treeWidget->topLevelItemCount() == 0);
        QVERIFY(window.ui->b_tap_LineEdit->text().isEmpty() && window.ui->b_tap_pswd_lineEdit->text().isEmpty());
        // Only this user's entry leaves the in-memory lists; the file is the dialog's business.
        QCOMPARE(window.boundUserNames, TapBindingStore::load().userNames.mid(1));
        QCOMPARE(window.boundTapSerials, TapBindingStore::load().tapSerials.mid(1));
    }

    void unsavedBinding_data()
    {
        QTest::addColumn<bool>("automatic"); // a stored binding the platform refuses at login
        QTest::newRow("new binding, file is a directory") << false;
        QTest::newRow("refused binding, immutable file") << true;
    }

    // A binding that cannot be stored, or a refused one that cannot be removed, is told in a box and
    // in the log; the file stays as it was, and a new binding holds for this session all the same.
    // (Each way a save can fail is tried on the store itself.)
    void unsavedBinding()
    {
        QFETCH(bool, automatic);
        Scene scene;
        QVERIFY(scene.isReady());
        scene.host.adapterList = {{QStringLiteral("TAP-Linux tun korvane0"), {QStringLiteral("10.8.0.6")}}};
        std::unique_ptr<filefaults::Immutable> immutable;
        if (automatic) {
            storeBinding(demo::user, demo::tap2, demo::tap2Password);
            scene.platform->setFault(kTapAuthLogin, fault(10001));
            immutable = std::make_unique<filefaults::Immutable>(TapBindingStore::filePath());
            if (!immutable->isSet())
                QSKIP("needs root and a file system with the immutable attribute");
        } else {
            QVERIFY(QDir().mkdir(TapBindingStore::filePath()));
        }
        const QByteArray before = fileBytes();
        MainWindow window;
        QVERIFY(logIn(window, demo::user, demo::password));
        if (!automatic)
            bindManually(window, demo::tap, demo::tapPassword);
        // After "not bound" or the refusal.
        QCOMPARE(shownBoxes(scene.boxes).value(1),
                 QStringLiteral("warning/none/提示/TAP绑定信息保存失败，请检查磁盘空间或文件权限"));
        QVERIFY(warnings.contains(TapBindingStore::saveFailedText()));
        QCOMPARE(fileBytes(), before);
        QCOMPARE(*window.tapBound, !automatic);
    }

    void damagedBindingFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("damaged");
        QTest::newRow("binary") << QByteArray::fromHex(
            "00fffe5b636f6e6669675d0a01023d03c3289fa0e2828d0a757365726e616d653d40") << true;
        QTest::newRow("NUL bytes") << QByteArray(512, '\0') << true;
        QTest::newRow("list count far beyond the file") << QByteArrayLiteral("<huge count>") << true;
        QTest::newRow("cut in the middle") << QByteArrayLiteral("<cut>") << true;
        // Values of another type are lists that cannot be read, not damage: nothing to keep a copy of.
        QTest::newRow("plain") << QByteArray("[config]\nusername=demo\nboundtap=TAP-DEMO-0001\ntappswd=Tap@0001\n")
                               << false;
    }

    void damagedBindingFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, damaged);
        Scene scene;
        QVERIFY(scene.isReady());
        if (content.startsWith('<')) { // damage a real file, written in a directory of its own
            ScopedWorkDir earlierRun;
            storeBinding(demo::user, demo::tap, demo::tapPassword);
            const QByteArray whole = fileBytes();
            // Every list claims 2^31 - 1 entries ("\\0\\0\\0\\x1" is the count of one).
            content = content == "<cut>" ? whole.left(whole.size() * 2 / 3)
                                         : QByteArray(whole).replace("\\0\\0\\0\\x1\\0", "\\x7f\\xff\\xff\\xff\\0");
            QVERIFY(content != whole);
        }
        {
            QFile file(TapBindingStore::filePath()); // closed again: Windows replaces no open file
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        }
        MainWindow window;
        window.show();
        QVERIFY(logIn(window, demo::user, demo::password));
        // Reads as no binding at all, and reading does not touch the file.
        QCOMPARE(scene.boxes.texts(), QStringList(kNotBound));
        QVERIFY(scene.requestCount(kTapAuthLogin) == 0 && window.boundUserNames.isEmpty());
        QCOMPARE(fileBytes(), content);
        // The first write keeps a damaged file beside the new one.
        bindManually(window, demo::tap, demo::tapPassword);
        QVERIFY(*window.tapBound);
        QCOMPARE(fileBytes(TapBindingStore::filePath() + QStringLiteral(".corrupt")), damaged ? content : QByteArray());
        QCOMPARE(storedBindings(), QStringList(binding(demo::user, demo::tap, demo::tapPassword)));
    }
};

QTEST_MAIN(TestTapBinding)
#include "tst_tapbinding.moc"
