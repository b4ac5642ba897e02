// The login dialog against the in-process platform simulator: hand-over to the main window,
// the remembered accounts of login.ini, and the silent and reported failures.

#include "api/operations.h"
#include "api/platformexchange.h"
#include "api/platformreply.h"
#include "crypto/credentialcipher.h"
#include "login/login.h"
#include "mainwindow/mainwindow.h"
#include "store/accountstore.h"
#include "support/messagerecorder.h"
#include "support/simfixture.h"
#include "support/workdir.h"
#include "ui/resources.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>
#include <memory>

namespace {

struct Account {
    QString name;
    QString password;
    QByteArray flag;
    bool operator==(const Account &o) const { return name == o.name && password == o.password && flag == o.flag; }
};

const QString specialName = QStringLiteral("工程师 a&b");
const QString specialPassword = QStringLiteral("p&ss#w%rd+ 1");
const QString rejectionText = QStringLiteral("账号或密码错误，请重新输入");

QByteArray encipher(const QByteArray &bytes)
{
    return CredentialCipher::encipher(bytes, CredentialCipher::keyBytes());
}

QByteArray decipher(const QByteArray &bytes)
{
    return CredentialCipher::decipher(bytes, CredentialCipher::keyBytes());
}

// Accounts user1..user9 (password Secret@n) and one with characters that need encoding.
sim::World testWorld()
{
    sim::World world = sim::demoWorld();
    const int customer = world.accounts.value(0).customerId;
    for (int n = 1; n <= 9; ++n)
        world.accounts.append({QStringLiteral("user%1").arg(n), QStringLiteral("Secret@%1").arg(n), customer});
    world.accounts.append({specialName, specialPassword, customer});
    return world;
}

QList<Account> numberedAccounts(int count, const QByteArray &flag)
{
    QList<Account> accounts;
    for (int n = 1; n <= count; ++n)
        accounts.append({QStringLiteral("user%1").arg(n), QStringLiteral("Secret@%1").arg(n), flag});
    return accounts;
}

QList<Account> storedAccounts()
{
    const AccountStore::Lists lists = AccountStore::load();
    QList<Account> accounts;
    for (int i = 0; i < lists.userNames.size(); ++i) {
        accounts.append({QString::fromUtf8(decipher(lists.userNames.at(i))),
                         QString::fromUtf8(decipher(lists.passwords.value(i))), decipher(lists.flags.value(i))});
    }
    return accounts;
}

// One test's world: its own working directory (with login.ini prepared before the dialog reads
// it), a simulator as the platform, recorded message boxes, and the dialog with the main window
// it creates (the dialog never deletes that window; the scene does).
struct Scene {
    explicit Scene(const QList<Account> &stored = {}, const QByteArray &rawLoginIni = {})
        : platform(testWorld())
    {
        if (!rawLoginIni.isNull()) {
            QFile file(QStringLiteral("login.ini"));
            if (file.open(QIODevice::WriteOnly))
                file.write(rawLoginIni);
        } else if (!stored.isEmpty()) {
            AccountStore::Lists lists;
            for (const Account &account : stored) {
                lists.userNames.append(encipher(account.name.toUtf8()));
                lists.passwords.append(encipher(account.password.toUtf8()));
                lists.flags.append(encipher(account.flag));
            }
            AccountStore::save(lists);
        }
        login = std::make_unique<Login>();
        mainWindow.reset(login->mainWindow);
        QObject::connect(login.get(), &Login::sendToken, login.get(),
                         [this](const std::string &token, const QString &name, const QString &password) {
                             ++handOvers;
                             handedToken = QByteArray::fromStdString(token);
                             handedName = name;
                             handedPassword = password;
                             mainWindowVisibleAtHandOver = mainWindow->isVisible();
                         });
        login->show();
    }

    bool ready() { return workDir.isValid() && platform.isRunning() && QTest::qWaitForWindowExposed(login.get()); }

    template <typename T>
    T *child(const char *name) const { return login->findChild<T *>(QString::fromLatin1(name)); }
    QComboBox *account() const { return child<QComboBox>("account_ComboBox"); }
    QLineEdit *password() const { return child<QLineEdit>("pswd"); }
    QCheckBox *checkBox() const { return child<QCheckBox>("checkBox"); }

    QStringList rowTexts() const
    {
        QStringList texts;
        for (int i = 0; i < account()->count(); ++i)
            texts.append(account()->itemText(i));
        return texts;
    }
    QPushButton *deleteButton(int row) const
    {
        auto *rows = qobject_cast<QListWidget *>(account()->view());
        QWidget *rowWidget = rows ? rows->itemWidget(rows->item(row)) : nullptr;
        return rowWidget ? rowWidget->findChild<QPushButton *>() : nullptr;
    }

    void logIn(const QString &name, const QString &secret) const
    {
        account()->setEditText(name);
        password()->setText(secret);
        QTest::mouseClick(child<QToolButton>("Btnlogin"), Qt::LeftButton);
    }
    bool rejectionShown() const { return recorder.texts().contains(rejectionText); }
    bool loginIniExists() const { return QFile::exists(workDir.filePath(QStringLiteral("login.ini"))); }

    ScopedWorkDir workDir;
    SimFixture platform;
    MessageRecorder recorder;
    std::unique_ptr<Login> login;
    std::unique_ptr<MainWindow> mainWindow;

    int handOvers = 0;
    QByteArray handedToken;
    QString handedName;
    QString handedPassword;
    bool mainWindowVisibleAtHandOver = false;
};

} // namespace

Q_DECLARE_METATYPE(Account)
Q_DECLARE_METATYPE(sim::Fault)

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }
    void form();
    void successfulLogin_data();
    void successfulLogin();
    void tokenFromAnyReplyThatCarriesOne();
    void rejectedCredentials();
    void silentFailures_data();
    void silentFailures();
    void specialCharactersTravelEncoded();
    void titleBarDragsTheWindow();
    void rememberedAccountsFillTheDropDown_data();
    void rememberedAccountsFillTheDropDown();
    void deleteRows();
    void recordingRespectsTheLimit_data();
    void recordingRespectsTheLimit();
    void damagedFileReadsSafely_data();
    void damagedFileReadsSafely();
};

void TestLogin::form()
{
    Scene scene;
    QVERIFY(scene.ready());
    QCOMPARE(scene.login->size(), QSize(1038, 619));
    QCOMPARE(scene.login->maximumSize(), QSize(1038, 619));
    QCOMPARE(scene.login->windowTitle(), QStringLiteral("Form"));
    QVERIFY(scene.login->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!scene.mainWindow->isVisible());

    const struct {
        const char *name;
        const char *className;
        QRect geometry;
        QString text;
    } widgets[] = {{"account_ComboBox", "QComboBox", {730, 190, 211, 31}, {}},
                   {"pswd", "QLineEdit", {730, 250, 211, 31}, {}},
                   {"checkBox", "QCheckBox", {740, 300, 111, 21}, QStringLiteral("是否记住密码")},
                   {"Btnlogin", "QToolButton", {750, 340, 181, 31}, QStringLiteral("登入")},
                   {"frame", "QFrame", {0, 400, 1041, 101}, {}}};
    for (const auto &expected : widgets) {
        QWidget *widget = scene.child<QWidget>(expected.name);
        QVERIFY2(widget, expected.name);
        QCOMPARE(widget->metaObject()->className(), expected.className);
        QCOMPARE(widget->geometry(), expected.geometry);
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            QCOMPARE(button->text(), expected.text);
    }
    QCOMPARE(scene.account()->lineEdit()->placeholderText(), QStringLiteral("请输入用户名"));
    QCOMPARE(scene.password()->placeholderText(), QStringLiteral("请输入密码"));
    QCOMPARE(scene.password()->echoMode(), QLineEdit::Password);
    QCOMPARE(scene.child<QWidget>("widgetTitle")->height(), 90);
    QCOMPARE(scene.child<QPushButton>("btnMin")->size(), QSize(30, 30));
    QCOMPARE(scene.child<QPushButton>("btnMin")->toolTip(), QStringLiteral("最小化"));
    QCOMPARE(scene.child<QPushButton>("btnExit")->toolTip(), QStringLiteral("退出"));
    QStringList labels;
    for (const QLabel *label : scene.login->findChildren<QLabel *>())
        labels.append(label->text());
    QVERIFY(labels.contains(QStringLiteral("Korvane远程接入灵途")));
    QCOMPARE(labels.filter(QStringLiteral("用户登录")).size(), 1);
}

void TestLogin::successfulLogin_data()
{
    QTest::addColumn<int>("checkBoxClicks");
    QTest::addColumn<QByteArray>("storedFlag");
    QTest::newRow("box never touched") << 0 << QByteArray();
    QTest::newRow("box checked") << 1 << QByteArray("true");
    QTest::newRow("box checked and unchecked") << 2 << QByteArray("false");
}

void TestLogin::successfulLogin()
{
    QFETCH(int, checkBoxClicks);
    QFETCH(QByteArray, storedFlag);
    Scene scene;
    QVERIFY(scene.ready());

    scene.account()->setEditText(QStringLiteral("user3"));
    scene.password()->setText(QStringLiteral("Secret@3"));
    for (int i = 0; i < checkBoxClicks; ++i)
        QTest::mouseClick(scene.checkBox(), Qt::LeftButton);
    // Enter in either field does not log in, and the box alone does not touch the file.
    QTest::keyClick(scene.account()->lineEdit(), Qt::Key_Return);
    QTest::keyClick(scene.password(), Qt::Key_Return);
    QVERIFY(scene.platform->requests(QStringLiteral("getLintraToken")).isEmpty());
    QCOMPARE(scene.account()->count(), 0);
    QVERIFY(!scene.loginIniExists());

    scene.logIn(QStringLiteral("user3"), QStringLiteral("Secret@3"));
    QCOMPARE(scene.handOvers, 1);
    QVERIFY(scene.mainWindowVisibleAtHandOver);
    QVERIFY(!scene.login->isVisible());
    QCOMPARE(scene.handedName, QStringLiteral("user3"));
    QCOMPARE(scene.handedPassword, QStringLiteral("Secret@3"));
    QCOMPARE(scene.mainWindow->sessionToken, scene.handedToken);
    QVERIFY(!scene.rejectionShown());

    // The token is the one the platform issued: it accepts it for a later operation.
    const int customer = scene.platform->world().accounts.value(0).customerId;
    const auto reply = platformExchange(Operations::getCustomerInfo(scene.handedToken, customer));
    QVERIFY(reply);
    QCOMPARE(replyCode(JsonDocument::parse(*reply)).value_or(-1), ReplyCode::Success);

    QCOMPARE(storedAccounts(),
             (QList<Account>{{QStringLiteral("user3"), QStringLiteral("Secret@3"), storedFlag}}));
}

void TestLogin::tokenFromAnyReplyThatCarriesOne()
{
    Scene scene;
    QVERIFY(scene.ready());
    auto answerOnce = [&scene](const QByteArray &body) {
        sim::Fault fault;
        fault.body = sim::Fault::Body::Custom;
        fault.customBody = body;
        fault.times = 1;
        scene.platform->setFault(QStringLiteral("getLintraToken"), fault);
    };

    // A refused reply that carries a token: no login, but the token is kept for a later success
    // that carries none.
    answerOnce(R"({"code":10003,"data":{"token":"kept-from-before"}})");
    scene.logIn(QStringLiteral("user1"), QStringLiteral("Secret@1"));
    QCOMPARE(scene.handOvers, 0);
    answerOnce(R"({"code":100,"msg":"ok"})");
    scene.logIn(QStringLiteral("user1"), QStringLiteral("Secret@1"));
    QCOMPARE(scene.handOvers, 1);
    QCOMPARE(scene.handedToken, QByteArray("kept-from-before"));
}

void TestLogin::rejectedCredentials()
{
    Scene scene;
    QVERIFY(scene.ready());
    scene.logIn(QStringLiteral("user2"), QStringLiteral("not the password"));

    QCOMPARE(scene.recorder.count(), 1);
    QCOMPARE(scene.recorder.last().kind, MessageBoxes::Kind::About);
    QCOMPARE(scene.recorder.last().title, QString());
    QCOMPARE(scene.recorder.last().text, rejectionText);
    QVERIFY(scene.recorder.last().parent == nullptr);
    QCOMPARE(scene.account()->currentText(), QString());
    QCOMPARE(scene.password()->text(), QString());
    QVERIFY(scene.login->isVisible());
    QVERIFY(!scene.mainWindow->isVisible());
    QCOMPARE(scene.handOvers, 0);
    QVERIFY(!scene.loginIniExists());
}

void TestLogin::silentFailures_data()
{
    QTest::addColumn<bool>("stopPlatform");
    QTest::addColumn<sim::Fault>("fault");

    auto custom = [](const QByteArray &body) {
        sim::Fault fault;
        fault.body = sim::Fault::Body::Custom;
        fault.customBody = body;
        return fault;
    };
    sim::Fault dropped, notJson, truncated, otherCode, serverError;
    dropped.dropConnection = true;
    notJson.body = sim::Fault::Body::NotJson;
    truncated.body = sim::Fault::Body::Truncated;
    otherCode.code = ReplyCode::LoggedInElsewhere;
    serverError.httpStatus = 500;
    serverError.body = sim::Fault::Body::NotJson;

    QTest::newRow("platform stopped") << true << sim::Fault();
    QTest::newRow("connection dropped") << false << dropped;
    QTest::newRow("not JSON") << false << notJson;
    QTest::newRow("truncated JSON") << false << truncated;
    QTest::newRow("no code") << false << custom(R"({"data":{"token":"t"}})");
    QTest::newRow("code as text") << false << custom(R"({"code":"100","data":{"token":"t"}})");
    QTest::newRow("other code") << false << otherCode;
    QTest::newRow("HTTP 500") << false << serverError;
}

void TestLogin::silentFailures()
{
    QFETCH(bool, stopPlatform);
    QFETCH(sim::Fault, fault);
    Scene scene;
    QVERIFY(scene.ready());
    scene.platform->setFault(QStringLiteral("getLintraToken"), fault);
    if (stopPlatform)
        scene.platform->stop();

    scene.logIn(QStringLiteral("user1"), QStringLiteral("Secret@1"));
    QVERIFY(scene.recorder.isEmpty());
    QCOMPARE(scene.handOvers, 0);
    QVERIFY(scene.login->isVisible());
    QVERIFY(!scene.mainWindow->isVisible());
    // The user may simply try again.
    QCOMPARE(scene.account()->currentText(), QStringLiteral("user1"));
    QCOMPARE(scene.password()->text(), QStringLiteral("Secret@1"));
    QVERIFY(!scene.loginIniExists());
}

void TestLogin::specialCharactersTravelEncoded()
{
    Scene scene;
    QVERIFY(scene.ready());
    scene.logIn(specialName, specialPassword);

    const QList<sim::RecordedRequest> requests = scene.platform->requests(QStringLiteral("getLintraToken"));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.at(0).value(QStringLiteral("userName")), specialName);
    QCOMPARE(requests.at(0).value(QStringLiteral("passWord")), specialPassword);
    QCOMPARE(scene.handOvers, 1);
    QCOMPARE(scene.handedPassword, specialPassword);
    QCOMPARE(storedAccounts().value(0), (Account{specialName, specialPassword, {}}));
}

void TestLogin::titleBarDragsTheWindow()
{
    Scene scene;
    QVERIFY(scene.ready());
    auto *title = scene.child<QWidget>("widgetTitle");
    scene.login->move(100, 100);
    const QPoint start = scene.login->pos();
    // QTest moves only the cursor for widgets; the filter needs the move events themselves.
    auto moveTo = [title](const QPoint &local, Qt::MouseButtons buttons) {
        QMouseEvent event(QEvent::MouseMove, local, title->mapToGlobal(local), Qt::NoButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(title, &event);
    };

    // A move before any press does nothing; a drag follows the cursor; release ends it.
    moveTo(QPoint(300, 40), Qt::NoButton);
    QCOMPARE(scene.login->pos(), start);
    QTest::mousePress(title, Qt::LeftButton, Qt::NoModifier, QPoint(300, 40));
    moveTo(QPoint(350, 60), Qt::LeftButton);
    QCOMPARE(scene.login->pos(), start + QPoint(50, 20));
    QTest::mouseRelease(title, Qt::LeftButton, Qt::NoModifier, QPoint(300, 40));
    const QPoint dropped = scene.login->pos();
    moveTo(QPoint(10, 10), Qt::NoButton);
    QCOMPARE(scene.login->pos(), dropped);
}

void TestLogin::rememberedAccountsFillTheDropDown_data()
{
    QTest::addColumn<QList<Account>>("accounts");
    const QList<Account> mixed = {{QStringLiteral("alice"), QStringLiteral("A-pass"), "true"},
                                  {QStringLiteral("李雷"), QStringLiteral("B pass&"), "false"},
                                  {QStringLiteral("carol"), QStringLiteral("C-pass"), ""},
                                  {QStringLiteral("dave"), QStringLiteral("D-pass"), "true"}};
    QList<Account> firstNotRemembered = mixed;
    firstNotRemembered.move(1, 0);
    QTest::newRow("first remembered") << mixed;
    QTest::newRow("first not remembered") << firstNotRemembered;
    QTest::newRow("one account, empty flag") << QList<Account>{mixed.at(2)};
}

void TestLogin::rememberedAccountsFillTheDropDown()
{
    QFETCH(QList<Account>, accounts);
    Scene scene(accounts);
    QVERIFY(scene.ready());

    QStringList names;
    for (const Account &account : accounts)
        names.append(account.name);
    QCOMPARE(scene.rowTexts(), names);
    for (int row = 0; row < accounts.size(); ++row) {
        QPushButton *button = scene.deleteButton(row);
        QVERIFY(button);
        QCOMPARE(button->size(), QSize(15, 15));
        QCOMPARE(button->styleSheet(),
                 QStringLiteral("QPushButton{border-image:url(:/image/错误.png);border-width:3px}"));
    }

    // The start state follows the first account; choosing a row fills the password only for a
    // remembered one, back and forth.
    for (int row : {0, accounts.size() - 1, 0}) {
        scene.account()->setCurrentIndex(row);
        const bool remembered = accounts.at(row).flag == "true";
        QCOMPARE(scene.account()->currentText(), accounts.at(row).name);
        QCOMPARE(scene.password()->text(), remembered ? accounts.at(row).password : QString());
        QCOMPARE(scene.checkBox()->isChecked(), remembered);
    }

    // Every keystroke in the account field empties the password field.
    for (const char *key : {"x", "y"}) {
        scene.password()->setText(QStringLiteral("typed"));
        QTest::keyClicks(scene.account()->lineEdit(), QString::fromLatin1(key));
        QCOMPARE(scene.password()->text(), QString());
    }
    QVERIFY(scene.recorder.isEmpty());
}

void TestLogin::deleteRows()
{
    const QList<Account> accounts = {{QStringLiteral("alice"), QStringLiteral("A-pass"), "true"},
                                     {QStringLiteral("bob"), QStringLiteral("B-pass"), "false"},
                                     {QStringLiteral("carol"), QStringLiteral("C-pass"), "true"}};
    Scene scene(accounts);
    QVERIFY(scene.ready());

    // The middle row: the others move up, in the file and in the drop-down.
    QVERIFY(scene.deleteButton(1));
    scene.deleteButton(1)->click();
    QCOMPARE(storedAccounts(), (QList<Account>{accounts.at(0), accounts.at(2)}));
    QCOMPARE(scene.rowTexts(), (QStringList{QStringLiteral("alice"), QStringLiteral("carol")}));

    // The button of a row that moved up deletes that row's account.
    QVERIFY(scene.deleteButton(1));
    scene.deleteButton(1)->click();
    QCOMPARE(storedAccounts(), QList<Account>{accounts.at(0)});
    QCOMPARE(scene.password()->text(), QStringLiteral("A-pass"));

    // The last one: three empty lists in the file, an empty drop-down and password.
    QVERIFY(scene.deleteButton(0));
    scene.deleteButton(0)->click();
    const AccountStore::Lists lists = AccountStore::load();
    QVERIFY(lists.userNames.isEmpty() && lists.passwords.isEmpty() && lists.flags.isEmpty());
    QVERIFY(scene.loginIniExists());
    QCOMPARE(scene.account()->count(), 0);
    QCOMPARE(scene.password()->text(), QString());

    // A later login starts a new list; the flag stored is the one the box shows.
    QVERIFY(scene.checkBox()->isChecked());
    scene.logIn(QStringLiteral("user4"), QStringLiteral("Secret@4"));
    QCOMPARE(storedAccounts(), (QList<Account>{{QStringLiteral("user4"), QStringLiteral("Secret@4"), "true"}}));
}

void TestLogin::recordingRespectsTheLimit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<Account>>("expected");
    const QList<Account> eight = numberedAccounts(8, "true");
    QList<Account> moved = eight;
    moved.append(moved.takeFirst());
    QTest::newRow("ninth account is not added") << QStringLiteral("user9") << eight;
    QTest::newRow("stored account moves to the tail") << QStringLiteral("user1") << moved;
}

void TestLogin::recordingRespectsTheLimit()
{
    QFETCH(QString, name);
    QFETCH(QList<Account>, expected);
    Scene scene(numberedAccounts(8, "true"));
    QVERIFY(scene.ready());
    QCOMPARE(scene.account()->count(), 8);

    scene.logIn(name, QStringLiteral("Secret@") + name.mid(4));
    QCOMPARE(scene.handOvers, 1);
    QCOMPARE(storedAccounts(), expected);
}

void TestLogin::damagedFileReadsSafely_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("rows");

    // QSettings streams a byte-array list as @Variant(type 0x92, count, then length-prefixed entries).
    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[config\n\x01\x02=\x03", 15) << 0;
    QTest::newRow("plain text values") << QByteArray("[config]\nusername=alice\npassword=secret\n") << 0;
    QTest::newRow("invalid variant") << QByteArray("[config]\nusername=@Invalid()\nisrembered=@Variant(\\0)\n") << 0;
    QTest::newRow("truncated entry")
        << QByteArray("[config]\nusername=@Variant(\\0\\0\\0\\x92\\0\\0\\0\\x5\\0\\0\\0\\x10\\x1\\x2)\n") << 0;
    QTest::newRow("huge entry count") << QByteArray("[config]\nusername=@Variant(\\0\\0\\0\\x92\\x7f\\xff\\xff\\xff)\n")
                                      << 0;
    // Entries that are not whole cipher blocks, and lists of different lengths.
    QTest::newRow("partial blocks")
        << QByteArray("[config]\nusername=@Variant(\\0\\0\\0\\x92\\0\\0\\0\\x2\\0\\0\\0\\x3\\x61\\x62\\x63\\0\\0\\0\\0)\n")
        << 2;
}

void TestLogin::damagedFileReadsSafely()
{
    QFETCH(QByteArray, content);
    QFETCH(int, rows);
    Scene scene({}, content);
    QVERIFY(scene.ready());

    QCOMPARE(scene.account()->count(), rows);
    QCOMPARE(scene.password()->text(), QString());
    QVERIFY(!scene.checkBox()->isChecked());
    for (int row = 0; row < rows; ++row)
        scene.account()->setCurrentIndex(row);

    // The dialog stays usable: a login still works and is recorded.
    scene.logIn(QStringLiteral("user5"), QStringLiteral("Secret@5"));
    QVERIFY(!scene.login->isVisible());
    QCOMPARE(storedAccounts().value(storedAccounts().size() - 1).name, QStringLiteral("user5"));
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
