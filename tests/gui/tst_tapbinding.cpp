// Binding a TAP to this PC: by hand from the bind page, automatically at login from TAPBOUND.ini,
// the main window's side of a release, and hostile replies and files on the way.
#include "api/sessiontoken.h"
#include "crypto/credentialcipher.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/userdesign.h"
#include "platform/fingerprint.h"
#include "store/tapbindingstore.h"
#include "support/fakehostsystem.h"
#include "support/messagerecorder.h"
#include "support/simfixture.h"
#include "support/workdir.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"

#include <QRegularExpression>
#include <QTimer>
#include <QtTest>

namespace {

const QString kDemo = QStringLiteral("demo");
const QString kDemoPassword = QStringLiteral("Demo@2026");
const QString kEngineer = QStringLiteral("engineer");
const QString kEngineerPassword = QStringLiteral("Field #1 & co+");
const QString kTap1 = QStringLiteral("TAP-DEMO-0001");
const QString kTap1Password = QStringLiteral("Tap@0001");
const QString kTap2 = QStringLiteral("TAP-DEMO-0002");
const QString kTap2Password = QStringLiteral("Tap #2 & +x");
constexpr int kSuzhou = 1001;

// ---- log capture --------------------------------------------------------------------------

QStringList capturedWarnings;
QStringList capturedDebug;
QtMessageHandler previousHandler = nullptr;

void captureMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // Only the program's own lines: Qt's plugins log under categories of their own, and Qt's
    // classes name themselves ("QCssParser::...: ...").
    static const QRegularExpression qtClass(QStringLiteral("^Q[A-Za-z]+::"));
    const bool ownLine = (!context.category || qstrcmp(context.category, "default") == 0)
        && !qtClass.match(message).hasMatch();
    if (ownLine) {
        if (type == QtWarningMsg)
            capturedWarnings.append(message);
        else if (type == QtDebugMsg)
            capturedDebug.append(message);
    }
    if (previousHandler)
        previousHandler(type, context, message);
}

// ---- the platform's troubles --------------------------------------------------------------

enum class Trouble { None, ExpiredSession, ForcedCode, NotJson, NoCode, Truncated, Dropped, Body };

void arrange(SimFixture &platform, const QString &operation, Trouble trouble, int code = 0,
             const QByteArray &body = QByteArray())
{
    sim::Fault fault;
    switch (trouble) {
    case Trouble::None:
        return;
    case Trouble::ExpiredSession:
        platform->expireAllTokens();
        return;
    case Trouble::ForcedCode:
        fault.code = code;
        break;
    case Trouble::NotJson:
        fault.body = sim::Fault::Body::NotJson;
        break;
    case Trouble::NoCode:
        fault.body = sim::Fault::Body::Custom;
        fault.customBody = QByteArrayLiteral("{\"msg\":\"ok\",\"page\":{\"size\":30,\"count\":1,\"index\":1},\"data\":[]}");
        break;
    case Trouble::Truncated:
        fault.body = sim::Fault::Body::Truncated;
        break;
    case Trouble::Dropped:
        fault.dropConnection = true;
        break;
    case Trouble::Body:
        fault.body = sim::Fault::Body::Custom;
        fault.customBody = body;
        break;
    }
    platform->setFault(operation, fault);
}

// ---- files ----------------------------------------------------------------------------------

QString bindingFile()
{
    return QStringLiteral("./TAPBOUND.ini");
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString decipher(const QByteArray &cipher)
{
    return QString::fromUtf8(CredentialCipher::decipher(cipher, CredentialCipher::keyBytes()));
}

QString binding(const QString &user, const QString &serial, const QString &password)
{
    return user + QLatin1Char('|') + serial + QLatin1Char('|') + password;
}

// The bindings of ./TAPBOUND.ini, deciphered, entry 0 first.
QStringList storedBindings()
{
    const TapBindingStore::Lists lists = TapBindingStore::load();
    if (lists.tapSerials.size() != lists.userNames.size() || lists.tapPasswords.size() != lists.userNames.size())
        return {QStringLiteral("<lists of different lengths>")};
    QStringList result;
    for (int i = 0; i < lists.userNames.size(); ++i)
        result.append(binding(decipher(lists.userNames.at(i)), decipher(lists.tapSerials.at(i)),
                              decipher(lists.tapPasswords.at(i))));
    return result;
}

// A binding put into the file the way a successful bind of an earlier program run did.
void storeBinding(const QString &user, const QString &serial, const QString &password)
{
    MainWindow earlierRun;
    earlierRun.userName = user;
    earlierRun.saveBinding(user, serial, password);
}

// ---- the window -------------------------------------------------------------------------------

// A login as the login dialog hands it over: a fresh token, then getToken (which runs the TAP check).
bool logIn(MainWindow &window, const QString &user, const QString &password)
{
    const TokenReply reply = requestToken(user, password);
    if (!reply.token)
        return false;
    window.getToken(reply.token->toStdString(), user, password);
    return true;
}

void bindManually(MainWindow &window, const QString &serial, const QString &password)
{
    window.ui->b_tap_LineEdit->setText(serial);
    window.ui->b_tap_pswd_lineEdit->setText(password);
    if (window.ui->btn_bound_tap->isVisible())
        QTest::mouseClick(window.ui->btn_bound_tap, Qt::LeftButton);
    else
        window.on_btn_bound_tap_clicked();
}

QStringList treeGateways(const MainWindow &window)
{
    QStringList serials;
    if (QTreeWidgetItem *root = window.ui->treeWidget->topLevelItem(0)) {
        for (int i = 0; i < root->childCount(); ++i)
            serials.append(root->child(i)->text(0));
    }
    return serials;
}

QImage picture(const QString &path)
{
    return QIcon(path).pixmap(16).toImage();
}

bool showsPicture(const QLabel *label, const QString &path)
{
    const QPixmap shown = label->pixmap(Qt::ReturnByValue);
    return !shown.isNull() && shown.toImage() == QPixmap(path).toImage();
}

bool timersRunEveryMinute(const MainWindow &window)
{
    return window.watchdogTimer->isActive() && window.watchdogTimer->interval() == 60000
        && window.reportTimer->isActive() && window.reportTimer->interval() == 60000;
}

bool timersStopped(const MainWindow &window)
{
    return !window.watchdogTimer->isActive() && !window.reportTimer->isActive();
}

bool showsBindPage(const MainWindow &window)
{
    return window.ui->stackedWidget->currentIndex() == 2 && window.ui->stackedWidget_2->currentIndex() == 1;
}

// The first gateway page of a customer as the platform holds it: serials and tunnel states.
QVector<QPair<QString, bool>> firstGatewayPage(SimFixture &platform, int customerId)
{
    QVector<QPair<QString, bool>> page;
    for (const sim::Gateway &gateway : platform->world().gateways) {
        if (gateway.customerId == customerId && page.size() < 30)
            page.append({gateway.gatewaySn, gateway.tunnelOnline != 0});
    }
    return page;
}

// Everything one test needs, torn down in reverse order after the windows it made.
struct Scene {
    ScopedWorkDir dir;
    SimFixture platform;
    FakeHostSystem host;
    MessageRecorder boxes;

    bool isReady() const { return dir.isValid() && platform.isRunning(); }
    int requestCount(const char *operation) { return platform->requests(QLatin1String(operation)).size(); }
};

// A page reply with `rows` gateways, as the platform sends it for tapAuthLogin.
QByteArray pageReply(int rows, int count)
{
    QByteArray data;
    for (int i = 0; i < rows; ++i) {
        if (i)
            data += ',';
        data += "{\"gatewaySn\":\"GW" + QByteArray::number(i) + "\",\"tunnelOnline\":" + QByteArray::number(i % 2)
            + ",\"customerId\":1001}";
    }
    return "{\"code\":100,\"page\":{\"size\":30,\"count\":" + QByteArray::number(count) + ",\"index\":1},\"data\":["
        + data + "]}";
}

} // namespace

Q_DECLARE_METATYPE(Trouble)

class TestTapBinding : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        initKorvaneResources();
        previousHandler = qInstallMessageHandler(captureMessage);
    }
    void cleanupTestCase() { qInstallMessageHandler(previousHandler); }
    void init()
    {
        capturedWarnings.clear();
        capturedDebug.clear();
    }

    // Manual binding from the bind page.
    void manualBindingSucceeds();
    void bindRequestCarriesTheHostFingerprint();
    void manualBindingRefused_data();
    void manualBindingRefused();
    void expiredSessionGetsAFreshToken();
    void emptyFieldsSendNothing_data();
    void emptyFieldsSendNothing();

    // Automatic binding at login.
    void storedBindingBindsAtLogin();
    void automaticBindingFails_data();
    void automaticBindingFails();
    void keptBindingWorksAtTheNextLogin();
    void twoUsersOnOnePcEachGetTheirOwn();
    void rebindingReplacesAndMovesToTheFront();

    // The main window's side of a release.
    void releaseStopsTheTunnelOfTheBoundTap();
    void releaseSignalIgnoredWhileBound();

    // Hostile replies and files.
    void malformedBindReplies_data();
    void malformedBindReplies();
    void damagedBindingFile_data();
    void damagedBindingFile();
    void inconsistentStoredLists_data();
    void inconsistentStoredLists();
};

// ---- manual binding ---------------------------------------------------------------------------

void TestTapBinding::manualBindingSucceeds()
{
    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kEngineer, kTap2, kTap2Password);
    // One gateway of the first page with its tunnel up, so both tree icons occur.
    scene.platform->editWorld([](sim::World &world) {
        for (sim::Gateway &gateway : world.gateways) {
            if (gateway.customerId == kSuzhou) {
                gateway.tunnelOnline = 1;
                break;
            }
        }
    });

    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    QCOMPARE(scene.boxes.count(), 1); // no binding yet for this user
    scene.boxes.clear();
    QVERIFY(showsBindPage(window));

    bindManually(window, kTap1, kTap1Password);

    QVERIFY(scene.boxes.isEmpty());
    QVERIFY(capturedWarnings.isEmpty());
    QVERIFY(timersRunEveryMinute(window));
    QCOMPARE(window.ui->stackedWidget->currentIndex(), 0);
    QCOMPARE(window.ui->WG_Current_Page->text(), QStringLiteral("1"));
    QCOMPARE(window.ui->WG_Total_Page->text(), QStringLiteral("3")); // 75 gateways of the customer
    QVERIFY(*window.tapBound);
    QCOMPARE(window.tapSerial, kTap1.toUtf8());
    QCOMPARE(window.tapPassword, kTap1Password.toUtf8());
    QVERIFY(showsPicture(window.ui->siteRunstatus_2, QStringLiteral(":/image/对.png")));

    // The tree: the one "Korvane" root with the customer's first 30 gateways and their tunnel icons.
    QCOMPARE(window.ui->treeWidget->topLevelItemCount(), 1);
    QTreeWidgetItem *root = window.ui->treeWidget->topLevelItem(0);
    QCOMPARE(root->text(0), QStringLiteral("Korvane"));
    QCOMPARE(window.rootItem, root);
    const QVector<QPair<QString, bool>> expected = firstGatewayPage(scene.platform, kSuzhou);
    QCOMPARE(expected.size(), 30);
    QCOMPARE(root->childCount(), 30);
    for (int i = 0; i < 30; ++i) {
        QCOMPARE(root->child(i)->text(0), expected.at(i).first);
        QCOMPARE(root->child(i)->icon(0).pixmap(16).toImage(),
                 picture(expected.at(i).second ? QStringLiteral(":/image/VPN_ON.png")
                                               : QStringLiteral(":/image/VPN_OFF.png")));
    }

    // The file: this user's triple, enciphered, in front of the earlier user's.
    QCOMPARE(storedBindings(), QStringList({binding(kDemo, kTap1, kTap1Password), binding(kEngineer, kTap2, kTap2Password)}));
    const TapBindingStore::Lists lists = TapBindingStore::load();
    QCOMPARE(lists.userNames.first().size() % 16, 0);
    QVERIFY(!lists.userNames.first().contains(kDemo.toUtf8()));
    QCOMPARE(window.boundUserNames, lists.userNames);
}

void TestTapBinding::bindRequestCarriesTheHostFingerprint()
{
    Scene scene;
    QVERIFY(scene.isReady());
    scene.host.hardware = QStringList{QStringLiteral("Intel(R) Xeon(R) CPU E5-2680 v4 @ 2.40GHz"), QStringLiteral("14"),
                                      QStringLiteral("28"), QStringLiteral("BFEBFBFF000406F1"), QStringLiteral("/7XK9M2/CN1296"),
                                      QStringLiteral("7XK9M2"), QStringLiteral("4c4c4544-0058-4b10-8039-b7c04f4d3932"),
                                      QStringLiteral("S3Z1NX0K123456")};
    const QString fingerprint = hostFingerprint(scene.host.hardware);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(fingerprint).hasMatch());

    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kEngineer, kEngineerPassword));
    bindManually(window, kTap2, kTap2Password);
    QVERIFY(*window.tapBound);

    const QList<sim::RecordedRequest> requests = scene.platform->requests(QStringLiteral("tapAuthLogin"));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().rawQuery, "token=" + window.sessionToken
                                            + "&gatewaySn=TAP-DEMO-0002&passWord=Tap%20%232%20%26%20%2Bx"
                                              "&size=30&index=1&localip="
                                            + fingerprint.toUtf8());
    QCOMPARE(requests.first().value(QStringLiteral("passWord")), kTap2Password);
}

void TestTapBinding::manualBindingRefused_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("password");
    QTest::addColumn<Trouble>("trouble");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("title");   // empty: no box
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("logLine"); // empty: nothing logged

    const QString loginFailed = QStringLiteral("登录失败");
    QTest::newRow("10001 wrong password") << kTap1 << QStringLiteral("Tap@9999") << Trouble::None << 0 << loginFailed
                                          << QStringLiteral("序列号与密码不匹配") << QStringLiteral("登录序列号与密码不匹配");
    QTest::newRow("10002 session expired") << kTap1 << kTap1Password << Trouble::ExpiredSession << 0 << loginFailed
                                           << QStringLiteral("请求失效，请重试") << QString();
    QTest::newRow("10003 bound on another PC")
        << QStringLiteral("TAP-DEMO-0008") << QStringLiteral("Tap@0008") << Trouble::None << 0 << loginFailed
        << QStringLiteral("该网关序列号已在别处登录") << QStringLiteral("网关序列号异地登录");
    QTest::newRow("10004 login not allowed")
        << QStringLiteral("TAP-DEMO-0009") << QStringLiteral("Tap@0009") << Trouble::None << 0 << loginFailed
        << QStringLiteral("该序列号不能做登录操作") << QStringLiteral("序列号不能做登录操作");
    QTest::newRow("10005 unknown serial") << QStringLiteral("TAP-NONE-0404") << QStringLiteral("x") << Trouble::None << 0
                                          << loginFailed << QStringLiteral("该序列号不存在")
                                          << QStringLiteral("登录该序列号不存在");
    QTest::newRow("another code") << kTap1 << kTap1Password << Trouble::ForcedCode << 10099 << QString() << QString()
                                  << QString();
    QTest::newRow("not JSON") << kTap1 << kTap1Password << Trouble::NotJson << 0 << QString() << QString() << QString();
    QTest::newRow("no code") << kTap1 << kTap1Password << Trouble::NoCode << 0 << QString() << QString() << QString();
    QTest::newRow("truncated") << kTap1 << kTap1Password << Trouble::Truncated << 0 << QString() << QString()
                               << QString();
    QTest::newRow("transfer failed") << kTap1 << kTap1Password << Trouble::Dropped << 0 << QStringLiteral("绑定失败")
                                     << QStringLiteral("服务器验证失败，请稍后重试")
                                     << QStringLiteral("TAP绑定失败，网络连接错误");
}

void TestTapBinding::manualBindingRefused()
{
    QFETCH(QString, serial);
    QFETCH(QString, password);
    QFETCH(Trouble, trouble);
    QFETCH(int, code);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(QString, logLine);

    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kEngineer, kTap2, kTap2Password);
    const QByteArray fileBefore = readBytes(bindingFile());

    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    scene.boxes.clear();
    const QByteArray tokenBefore = window.sessionToken;
    const QString pageLabelBefore = window.ui->WG_Current_Page->text();
    const int tokenRequestsBefore = scene.requestCount("getLintraToken");
    int tokenRequestsAtBox = -1;
    scene.boxes.setOnPresent([&](const MessageBoxes::Request &) { tokenRequestsAtBox = scene.requestCount("getLintraToken"); });
    arrange(scene.platform, QStringLiteral("tapAuthLogin"), trouble, code);
    capturedWarnings.clear();

    bindManually(window, serial, password);

    QCOMPARE(scene.requestCount("tapAuthLogin"), 1);
    if (title.isEmpty()) {
        QVERIFY(scene.boxes.isEmpty());
    } else {
        QCOMPARE(scene.boxes.count(), 1);
        QCOMPARE(scene.boxes.last().kind, MessageBoxes::Kind::Critical);
        QVERIFY(!scene.boxes.last().parent);
        QCOMPARE(scene.boxes.last().title, title);
        QCOMPARE(scene.boxes.last().text, text);
    }
    QCOMPARE(capturedWarnings, logLine.isEmpty() ? QStringList() : QStringList(logLine));

    // Only an expired session asks for a new token, after the box.
    const bool expired = trouble == Trouble::ExpiredSession;
    QCOMPARE(scene.requestCount("getLintraToken"), tokenRequestsBefore + (expired ? 1 : 0));
    if (expired)
        QCOMPARE(tokenRequestsAtBox, tokenRequestsBefore);
    QCOMPARE(window.sessionToken != tokenBefore, expired);

    // Nothing else changes.
    QCOMPARE(readBytes(bindingFile()), fileBefore);
    QCOMPARE(window.boundUserNames.size(), 1);
    QVERIFY(timersStopped(window));
    QVERIFY(showsBindPage(window));
    QCOMPARE(window.ui->WG_Current_Page->text(), pageLabelBefore);
    QCOMPARE(window.ui->treeWidget->topLevelItemCount(), 0);
    QVERIFY(!*window.tapBound);
    QCOMPARE(window.tapSerial, QByteArrayLiteral("unbound"));
    QCOMPARE(window.ui->b_tap_LineEdit->text(), serial); // the user may correct and retry
}

void TestTapBinding::expiredSessionGetsAFreshToken()
{
    Scene scene;
    QVERIFY(scene.isReady());
    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    scene.platform->expireAllTokens();

    bindManually(window, kTap1, kTap1Password);
    QVERIFY(!*window.tapBound);
    // The re-requested token is the one the retry uses, and the platform takes it.
    bindManually(window, kTap1, kTap1Password);
    QVERIFY(*window.tapBound);
    const QList<sim::RecordedRequest> binds = scene.platform->requests(QStringLiteral("tapAuthLogin"));
    QCOMPARE(binds.size(), 2);
    QVERIFY(binds.at(1).value(QStringLiteral("token")) != binds.at(0).value(QStringLiteral("token")));
    QCOMPARE(binds.at(1).value(QStringLiteral("token")).toUtf8(), window.sessionToken);
}

void TestTapBinding::emptyFieldsSendNothing_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("password");
    QTest::newRow("no serial") << QString() << kTap1Password;
    QTest::newRow("no password") << kTap1 << QString();
    QTest::newRow("neither") << QString() << QString();
}

void TestTapBinding::emptyFieldsSendNothing()
{
    QFETCH(QString, serial);
    QFETCH(QString, password);

    Scene scene;
    QVERIFY(scene.isReady());
    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    scene.boxes.clear();

    bindManually(window, serial, password);

    QCOMPARE(scene.boxes.count(), 1);
    QCOMPARE(scene.boxes.last().kind, MessageBoxes::Kind::Warning);
    QCOMPARE(scene.boxes.last().parent, static_cast<QWidget *>(&window));
    QCOMPARE(scene.boxes.last().title, QStringLiteral("警告"));
    QCOMPARE(scene.boxes.last().text, QStringLiteral("TAP或密码不能为空！"));
    QCOMPARE(scene.requestCount("tapAuthLogin"), 0);
    QCOMPARE(scene.host.hardwareQueries, 0);
    QVERIFY(!QFile::exists(bindingFile()));
    QVERIFY(showsBindPage(window));
    QVERIFY(!*window.tapBound);
}

// ---- automatic binding at login -----------------------------------------------------------------

void TestTapBinding::storedBindingBindsAtLogin()
{
    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kEngineer, kTap2, kTap2Password);
    storeBinding(kDemo, kTap1, kTap1Password);
    const QByteArray fileBefore = readBytes(bindingFile());

    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));

    QVERIFY(scene.boxes.isEmpty());
    const QList<sim::RecordedRequest> binds = scene.platform->requests(QStringLiteral("tapAuthLogin"));
    QCOMPARE(binds.size(), 1);
    QCOMPARE(binds.first().value(QStringLiteral("gatewaySn")), kTap1);
    QCOMPARE(binds.first().value(QStringLiteral("passWord")), kTap1Password);
    QVERIFY(*window.tapBound);
    QCOMPARE(window.tapSerial, kTap1.toUtf8());
    QCOMPARE(window.tapPassword, kTap1Password.toUtf8());
    QVERIFY(timersRunEveryMinute(window));
    QCOMPARE(window.ui->stackedWidget->currentIndex(), 0);
    QCOMPARE(window.ui->WG_Current_Page->text(), QStringLiteral("1"));
    QVERIFY(showsPicture(window.ui->siteRunstatus_2, QStringLiteral(":/image/对.png")));
    QStringList expected;
    for (const auto &gateway : firstGatewayPage(scene.platform, kSuzhou))
        expected.append(gateway.first);
    QCOMPARE(treeGateways(window), expected);
    // Binding again at login does not rewrite the file.
    QCOMPARE(readBytes(bindingFile()), fileBefore);
}

void TestTapBinding::automaticBindingFails_data()
{
    QTest::addColumn<QString>("serial");   // the stored binding of the user logging in
    QTest::addColumn<QString>("password");
    QTest::addColumn<Trouble>("trouble");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");     // empty: no box
    QTest::addColumn<QString>("logLine");
    QTest::addColumn<bool>("kept");        // the stored binding survives
    QTest::addColumn<QByteArray>("tapSerial");

    const QByteArray unbound = QByteArrayLiteral("unbound");
    QTest::newRow("10001 password changed") << kTap1 << QStringLiteral("Tap@old") << Trouble::None << 0
                                            << QStringLiteral("您绑定的TAP密码或更改，请重新绑定")
                                            << QStringLiteral("error:10001 自动绑定TAP失败，账号密码不匹配") << false
                                            << unbound;
    QTest::newRow("10002 session expired") << kTap1 << kTap1Password << Trouble::ForcedCode << 10002
                                           << QStringLiteral("请求失效，请重试")
                                           << QStringLiteral("error:10002 自动绑定TAP失败，Token已失效") << true << unbound;
    QTest::newRow("10003 bound on another PC") << QStringLiteral("TAP-DEMO-0008") << QStringLiteral("Tap@0008")
                                               << Trouble::None << 0 << QStringLiteral("您绑定的TAP已在别处绑定登录")
                                               << QStringLiteral("error:10003 自动绑定TAP失败，TAP已在异地登录") << false
                                               << unbound;
    QTest::newRow("10004 login not allowed") << QStringLiteral("TAP-DEMO-0009") << QStringLiteral("Tap@0009")
                                             << Trouble::None << 0 << QString() << QString() << false << unbound;
    QTest::newRow("10005 serial gone") << QStringLiteral("TAP-GONE-0001") << QStringLiteral("x") << Trouble::None << 0
                                       << QString() << QString() << false << unbound;
    QTest::newRow("another code") << kTap1 << kTap1Password << Trouble::ForcedCode << 20001 << QString() << QString()
                                  << false << unbound;
    QTest::newRow("transfer failed") << kTap1 << kTap1Password << Trouble::Dropped << 0 << QString() << QString()
                                     << true << QByteArray();
    QTest::newRow("not JSON") << kTap1 << kTap1Password << Trouble::NotJson << 0 << QString() << QString() << true
                              << QByteArray();
    QTest::newRow("no code") << kTap1 << kTap1Password << Trouble::NoCode << 0 << QString() << QString() << true
                             << QByteArray();
    QTest::newRow("truncated") << kTap1 << kTap1Password << Trouble::Truncated << 0 << QString() << QString() << true
                               << QByteArray();
}

void TestTapBinding::automaticBindingFails()
{
    QFETCH(QString, serial);
    QFETCH(QString, password);
    QFETCH(Trouble, trouble);
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(QString, logLine);
    QFETCH(bool, kept);
    QFETCH(QByteArray, tapSerial);

    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kEngineer, kTap2, kTap2Password);
    storeBinding(kDemo, serial, password);
    const QByteArray fileBefore = readBytes(bindingFile());
    arrange(scene.platform, QStringLiteral("tapAuthLogin"), trouble, code);
    int tokenRequestsAtBox = -1;
    scene.boxes.setOnPresent([&](const MessageBoxes::Request &) { tokenRequestsAtBox = scene.requestCount("getLintraToken"); });

    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));

    QCOMPARE(scene.requestCount("tapAuthLogin"), 1);
    if (text.isEmpty()) {
        QVERIFY(scene.boxes.isEmpty());
    } else {
        QCOMPARE(scene.boxes.count(), 1);
        QCOMPARE(scene.boxes.last().kind, MessageBoxes::Kind::About);
        QVERIFY(!scene.boxes.last().parent);
        QCOMPARE(scene.boxes.last().title, QStringLiteral("提示"));
        QCOMPARE(scene.boxes.last().text, text);
    }
    QCOMPARE(capturedWarnings, logLine.isEmpty() ? QStringList() : QStringList(logLine));

    // 10002: the box first, then one token re-request (after the login's own).
    const bool expired = code == 10002;
    QCOMPARE(scene.requestCount("getLintraToken"), expired ? 2 : 1);
    if (expired)
        QCOMPARE(tokenRequestsAtBox, 1);

    if (kept) {
        QCOMPARE(readBytes(bindingFile()), fileBefore);
        QCOMPARE(window.boundUserNames.size(), 2);
    } else {
        QCOMPARE(storedBindings(), QStringList(binding(kEngineer, kTap2, kTap2Password)));
        QCOMPARE(window.boundUserNames, TapBindingStore::load().userNames);
    }
    QCOMPARE(window.tapSerial, tapSerial);
    QVERIFY(!*window.tapBound);
    QVERIFY(showsBindPage(window));
    QVERIFY(timersStopped(window));
    QCOMPARE(window.ui->treeWidget->topLevelItemCount(), 0);
}

void TestTapBinding::keptBindingWorksAtTheNextLogin()
{
    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kDemo, kTap1, kTap1Password);
    {
        sim::Fault drop;
        drop.dropConnection = true;
        drop.times = 1;
        scene.platform->setFault(QStringLiteral("tapAuthLogin"), drop);
        MainWindow unreachable;
        QVERIFY(logIn(unreachable, kDemo, kDemoPassword));
        QVERIFY(!*unreachable.tapBound);
    }
    // The next program run, with the platform back.
    MainWindow window;
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    QVERIFY(scene.boxes.isEmpty());
    QVERIFY(*window.tapBound);
    QCOMPARE(window.tapSerial, kTap1.toUtf8());
}

void TestTapBinding::twoUsersOnOnePcEachGetTheirOwn()
{
    Scene scene;
    QVERIFY(scene.isReady());
    {
        MainWindow firstRun;
        firstRun.show();
        QVERIFY(logIn(firstRun, kEngineer, kEngineerPassword));
        bindManually(firstRun, kTap2, kTap2Password);
        QVERIFY(*firstRun.tapBound);
    }
    {
        MainWindow secondRun;
        secondRun.show();
        QVERIFY(logIn(secondRun, kDemo, kDemoPassword));
        bindManually(secondRun, kTap1, kTap1Password);
        QVERIFY(*secondRun.tapBound);
    }
    QCOMPARE(storedBindings(), QStringList({binding(kDemo, kTap1, kTap1Password), binding(kEngineer, kTap2, kTap2Password)}));
    scene.boxes.clear();
    scene.platform->clearRequests();

    const QList<QPair<QString, QString>> logins = {{kEngineer, kEngineerPassword}, {kDemo, kDemoPassword}};
    for (const auto &account : logins) {
        MainWindow run;
        QVERIFY(logIn(run, account.first, account.second));
        const QString own = account.first == kDemo ? kTap1 : kTap2;
        QVERIFY2(*run.tapBound, qPrintable(account.first));
        QCOMPARE(run.tapSerial, own.toUtf8());
        QCOMPARE(scene.platform->requests(QStringLiteral("tapAuthLogin")).last().value(QStringLiteral("gatewaySn")), own);
    }
    QVERIFY(scene.boxes.isEmpty());
    QCOMPARE(scene.requestCount("tapAuthLogin"), 2);
}

void TestTapBinding::rebindingReplacesAndMovesToTheFront()
{
    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kDemo, kTap1, kTap1Password);
    storeBinding(kEngineer, kTap2, kTap2Password);
    storeBinding(QStringLiteral("zhangwei"), QStringLiteral("TAP-ZW-0001"), QStringLiteral("Zw#0001"));

    // The platform is out of reach at login, so the stored binding stays and the bind page shows;
    // the user then binds another TAP by hand.
    sim::Fault drop;
    drop.dropConnection = true;
    drop.times = 1;
    scene.platform->setFault(QStringLiteral("tapAuthLogin"), drop);
    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    QVERIFY(showsBindPage(window));
    bindManually(window, kTap2, kTap2Password);
    QVERIFY(*window.tapBound);

    QCOMPARE(storedBindings(), QStringList({binding(kDemo, kTap2, kTap2Password),
                                            binding(QStringLiteral("zhangwei"), QStringLiteral("TAP-ZW-0001"),
                                                    QStringLiteral("Zw#0001")),
                                            binding(kEngineer, kTap2, kTap2Password)}));
}

// ---- the main window's side of a release ---------------------------------------------------------

void TestTapBinding::releaseStopsTheTunnelOfTheBoundTap()
{
    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kEngineer, kTap2, kTap2Password);
    storeBinding(kDemo, kTap1, kTap1Password);
    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    QVERIFY(*window.tapBound);
    window.ui->b_tap_LineEdit->setText(kTap1);
    window.ui->b_tap_pswd_lineEdit->setText(kTap1Password);
    // A connected tunnel of the bound TAP, newest first, behind it a stale entry of another TAP.
    window.tunnelTapList = QStringList{kTap1, QStringLiteral("TAP-OLD-0001")};
    window.tunnelInfoList = QStringList{kTap1Password, QStringLiteral("old")};
    window.tunnelPidList = QStringList{QStringLiteral("4242"), QStringLiteral("77")};
    window.tunnelConnected = true;
    window.tunnelProcessStarted = true;
    window.ui->siteRunstatus->setPixmap(QPixmap(QStringLiteral(":/image/VPN_ON.png")));
    scene.platform->clearRequests();
    capturedDebug.clear();

    // What the user settings dialog does after the platform took the release.
    *window.tapBound = false;
    emit window.userDesign->closeSon();

    QCOMPARE(scene.host.killedProcessIds, QStringList(QStringLiteral("4242")));
    QCOMPARE(window.tunnelTapList, QStringList(QStringLiteral("TAP-OLD-0001")));
    QCOMPARE(window.tunnelInfoList, QStringList(QStringLiteral("old")));
    QCOMPARE(window.tunnelPidList, QStringList(QStringLiteral("77")));
    QVERIFY(showsPicture(window.ui->siteRunstatus, QStringLiteral(":/image/VPN_OFF.png")));
    QVERIFY(!window.tunnelConnected);
    QVERIFY(window.reconnectSuppressed);
    QVERIFY(!window.tunnelProcessStarted);
    QVERIFY(capturedDebug.contains(QStringLiteral("TAP绑定解除，通道关闭")));

    const QList<sim::RecordedRequest> states = scene.platform->requests(QStringLiteral("updateTunnelAndTapState"));
    QCOMPARE(states.size(), 1);
    QCOMPARE(states.first().value(QStringLiteral("gatewaySn")), kTap1);
    QCOMPARE(states.first().value(QStringLiteral("tunnelOnline")), QStringLiteral("0"));
    const QList<sim::RecordedRequest> alarms = scene.platform->requests(QStringLiteral("tunnelAlarmData"));
    QCOMPARE(alarms.size(), 1);
    QCOMPARE(alarms.first().value(QStringLiteral("gatewaySn")), kTap1);
    QCOMPARE(alarms.first().value(QStringLiteral("warnType")), QStringLiteral("1"));
    QCOMPARE(scene.platform->requests().size(), 2);

    QVERIFY(showsBindPage(window));
    QCOMPARE(window.tapSerial, QByteArrayLiteral("unbound"));
    QVERIFY(window.ui->b_tap_LineEdit->text().isEmpty());
    QVERIFY(window.ui->b_tap_pswd_lineEdit->text().isEmpty());
    QCOMPARE(window.ui->treeWidget->topLevelItemCount(), 0);
    QVERIFY(!window.rootItem);
    // Only this user's entry leaves the in-memory lists; the file is the dialog's business.
    QCOMPARE(window.boundUserNames.size(), 1);
    QCOMPARE(decipher(window.boundUserNames.first()), kEngineer);
    QCOMPARE(decipher(window.boundTapSerials.first()), kTap2);
    QCOMPARE(storedBindings().size(), 2);
}

void TestTapBinding::releaseSignalIgnoredWhileBound()
{
    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kDemo, kTap1, kTap1Password);
    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    QVERIFY(*window.tapBound);
    window.tunnelTapList = QStringList{kTap1};
    window.tunnelInfoList = QStringList{kTap1Password};
    window.tunnelPidList = QStringList{QStringLiteral("4242")};
    window.tunnelConnected = true;
    scene.platform->clearRequests();

    emit window.userDesign->closeSon();

    QVERIFY(scene.host.killedProcessIds.isEmpty());
    QCOMPARE(window.tunnelTapList.size(), 1);
    QVERIFY(window.tunnelConnected);
    QVERIFY(scene.platform->requests().isEmpty());
    QCOMPARE(window.tapSerial, kTap1.toUtf8());
    QCOMPARE(window.ui->stackedWidget->currentIndex(), 0);
    QCOMPARE(treeGateways(window).size(), 30);
    QCOMPARE(window.boundUserNames.size(), 1);
}

// ---- hostile replies and files -------------------------------------------------------------------

void TestTapBinding::malformedBindReplies_data()
{
    QTest::addColumn<bool>("automatic");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<bool>("hasCode");
    QTest::addColumn<int>("gateways"); // tree children after the bind; -1: not bound

    const QByteArray row = "{\"gatewaySn\":\"GW-A\",\"tunnelOnline\":1,\"customerId\":1001}";
    const QByteArray page = "\"page\":{\"size\":30,\"count\":2,\"index\":1}";
    const QByteArray valid = pageReply(2, 2);
    struct Case {
        const char *name;
        QByteArray body;
        bool hasCode;
        int gateways;
    };
    const QVector<Case> cases = {
        {"truncated page", valid.left(valid.size() / 2), false, -1},
        {"html", "<html><body>502 Bad Gateway</body></html>", false, -1},
        {"empty body", QByteArray(), false, -1},
        {"JSON array", "[100, {\"code\":100}]", false, -1},
        {"JSON null", "null", false, -1},
        {"code as text", "{\"code\":\"100\"," + page + ",\"data\":[" + row + "]}", false, -1},
        {"code out of range", "{\"code\":1e300," + page + ",\"data\":[" + row + "]}", true, -1},
        {"nested 100000 deep", QByteArray(100000, '[') + QByteArray(100000, ']'), false, -1},
        {"page is an array", "{\"code\":100,\"page\":[30,2,1],\"data\":[" + row + "]}", true, 0},
        {"page is text", "{\"code\":100,\"page\":\"1/1\",\"data\":[" + row + "]}", true, 0},
        {"page without count", "{\"code\":100,\"page\":{\"size\":30,\"index\":1},\"data\":[" + row + "]}", true, 0},
        {"data is an object", "{\"code\":100," + page + ",\"data\":" + row + "}", true, 0},
        {"data is text", "{\"code\":100," + page + ",\"data\":\"GW-A\"}", true, 0},
        {"serial is a number", "{\"code\":100," + page + ",\"data\":[" + row
                                   + ",{\"gatewaySn\":5,\"tunnelOnline\":0,\"customerId\":1001}," + row + "]}",
         true, 1},
        {"tunnel state is text", "{\"code\":100," + page
                                     + ",\"data\":[{\"gatewaySn\":\"GW-B\",\"tunnelOnline\":\"1\",\"customerId\":1001}]}",
         true, 0},
        {"row is not an object", "{\"code\":100," + page + ",\"data\":[7," + row + "]}", true, 0},
        {"serial not UTF-8", "{\"code\":100," + page
                                 + ",\"data\":[{\"gatewaySn\":\"GW-\xff\xfe\",\"tunnelOnline\":0,\"customerId\":1001}]}",
         true, 1},
        {"negative count", "{\"code\":100,\"page\":{\"size\":30,\"count\":-5,\"index\":1},\"data\":[" + row + "]}", true,
         1},
        {"5000 rows", pageReply(5000, 5000), true, 5000},
    };
    for (const bool automatic : {false, true}) {
        for (const Case &c : cases) {
            QTest::addRow("%s: %s", automatic ? "automatic" : "manual", c.name)
                << automatic << c.body << c.hasCode << c.gateways;
        }
    }
}

void TestTapBinding::malformedBindReplies()
{
    QFETCH(bool, automatic);
    QFETCH(QByteArray, body);
    QFETCH(bool, hasCode);
    QFETCH(int, gateways);

    Scene scene;
    QVERIFY(scene.isReady());
    storeBinding(kEngineer, kTap2, kTap2Password);
    if (automatic)
        storeBinding(kDemo, kTap1, kTap1Password);
    const QByteArray fileBefore = readBytes(bindingFile());
    const QStringList bindingsBefore = storedBindings();
    arrange(scene.platform, QStringLiteral("tapAuthLogin"), Trouble::Body, 0, body);

    MainWindow window;
    window.show();
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    if (!automatic)
        bindManually(window, kTap1, kTap1Password);
    QCOMPARE(scene.requestCount("tapAuthLogin"), 1);

    const bool bound = gateways >= 0;
    QCOMPARE(*window.tapBound, bound);
    if (bound) {
        QCOMPARE(window.ui->treeWidget->topLevelItemCount(), 1);
        QCOMPARE(window.rootItem->childCount(), gateways);
        QCOMPARE(window.tapSerial, kTap1.toUtf8());
    } else {
        QVERIFY(showsBindPage(window));
        QCOMPARE(window.ui->treeWidget->topLevelItemCount(), 0);
    }

    // The file stays whole: written only by a manual success, cut only by a real refusal.
    if (bound && !automatic)
        QCOMPARE(storedBindings(), QStringList(binding(kDemo, kTap1, kTap1Password)) + bindingsBefore);
    else if (automatic && hasCode && !bound)
        QCOMPARE(storedBindings(), QStringList(binding(kEngineer, kTap2, kTap2Password)));
    else
        QCOMPARE(readBytes(bindingFile()), fileBefore);
}

void TestTapBinding::damagedBindingFile_data()
{
    QTest::addColumn<QByteArray>("content");

    QByteArray noise(4096, Qt::Uninitialized);
    quint32 state = 2463534242u; // xorshift: the same bytes on every run
    for (char &byte : noise) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = char(state & 0xff);
    }
    QTest::newRow("random bytes") << noise;
    QTest::newRow("list count far beyond the file") << QByteArrayLiteral("<huge count>");
    QTest::newRow("plain text values") << QByteArray("[config]\nusername=demo\nboundtap=TAP-DEMO-0001\ntappswd=Tap@0001\n");
    QTest::newRow("NUL bytes") << QByteArray(512, '\0');
    QTest::newRow("cut in the middle") << QByteArrayLiteral("<cut>");
}

void TestTapBinding::damagedBindingFile()
{
    QFETCH(QByteArray, content);

    Scene scene;
    QVERIFY(scene.isReady());
    if (content.startsWith('<')) {
        // Damage a real file, written in a directory of its own as by an earlier program run.
        ScopedWorkDir earlierRun;
        storeBinding(kDemo, kTap1, kTap1Password);
        const QByteArray whole = readBytes(bindingFile());
        if (content == "<cut>") {
            content = whole.left(whole.size() * 2 / 3);
        } else {
            // Every list claims 2^31 - 1 entries ("\\0\\0\\0\\x1" is the count of one).
            content = whole;
            content.replace(QByteArray("\\0\\0\\0\\x1\\0"), QByteArray("\\x7f\\xff\\xff\\xff\\0"));
        }
        QVERIFY(content != whole);
    }
    QVERIFY(writeBytes(bindingFile(), content));

    {
        MainWindow window;
        window.show();
        QVERIFY(logIn(window, kDemo, kDemoPassword));
        // Reads as no binding at all, and reading does not touch the file.
        QCOMPARE(scene.boxes.count(), 1);
        QCOMPARE(scene.boxes.last().text, QStringLiteral("检测到您在本机尚未绑定TAP，请先进行绑定！"));
        QCOMPARE(scene.requestCount("tapAuthLogin"), 0);
        QVERIFY(window.boundUserNames.isEmpty());
        QCOMPARE(readBytes(bindingFile()), content);

        // The first write keeps the damaged file beside the new one.
        bindManually(window, kTap1, kTap1Password);
        QVERIFY(*window.tapBound);
    }
    QCOMPARE(readBytes(bindingFile() + QStringLiteral(".corrupt")), content);
    QCOMPARE(storedBindings(), QStringList(binding(kDemo, kTap1, kTap1Password)));

    // The next run binds from the fresh file.
    scene.boxes.clear();
    MainWindow nextRun;
    QVERIFY(logIn(nextRun, kDemo, kDemoPassword));
    QVERIFY(scene.boxes.isEmpty());
    QVERIFY(*nextRun.tapBound);
}

void TestTapBinding::inconsistentStoredLists_data()
{
    const auto encipher = [](const QString &text) {
        return CredentialCipher::encipher(text.toUtf8(), CredentialCipher::keyBytes());
    };
    QTest::addColumn<QByteArrayList>("userNames");
    QTest::addColumn<QByteArrayList>("tapSerials");
    QTest::addColumn<QByteArrayList>("tapPasswords");
    QTest::addColumn<QStringList>("remaining");

    QTest::newRow("serial list shorter")
        << QByteArrayList{encipher(kEngineer), encipher(kDemo)} << QByteArrayList{encipher(kTap2)}
        << QByteArrayList{encipher(kTap2Password)} << QStringList(binding(kEngineer, kTap2, kTap2Password));
    QTest::newRow("cipher texts not whole blocks")
        << QByteArrayList{encipher(kDemo), encipher(kEngineer)}
        << QByteArrayList{QByteArray("abc"), encipher(kTap2)}
        << QByteArrayList{QByteArray(17, '\x01'), encipher(kTap2Password)}
        << QStringList(binding(kEngineer, kTap2, kTap2Password));
    QTest::newRow("empty cipher texts") << QByteArrayList{encipher(kDemo)} << QByteArrayList{QByteArray()}
                                        << QByteArrayList{QByteArray()} << QStringList();
}

void TestTapBinding::inconsistentStoredLists()
{
    QFETCH(QByteArrayList, userNames);
    QFETCH(QByteArrayList, tapSerials);
    QFETCH(QByteArrayList, tapPasswords);
    QFETCH(QStringList, remaining);

    Scene scene;
    QVERIFY(scene.isReady());
    TapBindingStore::save({userNames, tapSerials, tapPasswords});

    MainWindow window;
    QVERIFY(logIn(window, kDemo, kDemoPassword));
    // The platform does not know what was read, and refuses it; the entry goes, the others stay.
    QCOMPARE(scene.requestCount("tapAuthLogin"), 1);
    QVERIFY(!*window.tapBound);
    QCOMPARE(window.tapSerial, QByteArrayLiteral("unbound"));
    QVERIFY(showsBindPage(window));
    QCOMPARE(storedBindings(), remaining);
}

QTEST_MAIN(TestTapBinding)
#include "tst_tapbinding.moc"
