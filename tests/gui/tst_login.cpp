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
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>
#include <memory>

namespace {

struct Account {
    QString name;
    QString password;
    QByteArray flag;
};

bool operator==(const Account &a, const Account &b)
{
    return a.name == b.name && a.password == b.password && a.flag == b.flag;
}

// Readable failure output for QCOMPARE.
char *toString(const QList<Account> &accounts)
{
    QStringList entries;
    for (const Account &account : accounts)
        entries.append(account.name + QLatin1Char('/') + account.password + QLatin1Char('/') +
                       QString::fromLatin1(account.flag));
    return qstrdup(entries.join(QStringLiteral(", ")).toUtf8().constData());
}

const QString ampersandPassword = QStringLiteral("p&ss#w%rd+ 1");

sim::World testWorld()
{
    sim::World world = sim::demoWorld();
    const int customer = world.accounts.value(0).customerId;
    for (int n = 1; n <= 9; ++n) {
        sim::Account account;
        account.userName = QStringLiteral("user%1").arg(n);
        account.passWord = QStringLiteral("Secret@%1").arg(n);
        account.customerId = customer;
        world.accounts.append(account);
    }
    sim::Account special;
    special.userName = QStringLiteral("工程师 a&b");
    special.passWord = ampersandPassword;
    special.customerId = customer;
    world.accounts.append(special);
    return world;
}

QByteArray encipher(const QString &text)
{
    return CredentialCipher::encipher(text.toUtf8(), CredentialCipher::keyBytes());
}

QString decipher(const QByteArray &bytes)
{
    return QString::fromUtf8(CredentialCipher::decipher(bytes, CredentialCipher::keyBytes()));
}

void storeAccounts(const QList<Account> &accounts)
{
    AccountStore::Lists lists;
    for (const Account &account : accounts) {
        lists.userNames.append(encipher(account.name));
        lists.passwords.append(encipher(account.password));
        lists.flags.append(CredentialCipher::encipher(account.flag, CredentialCipher::keyBytes()));
    }
    AccountStore::save(lists);
}

QList<Account> storedAccounts()
{
    const AccountStore::Lists lists = AccountStore::load();
    QList<Account> accounts;
    for (int i = 0; i < lists.userNames.size(); ++i) {
        accounts.append({decipher(lists.userNames.at(i)), decipher(lists.passwords.value(i)),
                         CredentialCipher::decipher(lists.flags.value(i), CredentialCipher::keyBytes())});
    }
    return accounts;
}

QList<Account> numberedAccounts(int count, const QByteArray &flag)
{
    QList<Account> accounts;
    for (int n = 1; n <= count; ++n)
        accounts.append({QStringLiteral("user%1").arg(n), QStringLiteral("Secret@%1").arg(n), flag});
    return accounts;
}

// The dialog with the main window it creates; the dialog itself never deletes that window.
struct LoginUnderTest {
    LoginUnderTest() : login(new Login), mainWindow(login->mainWindow)
    {
        login->show();
    }

    template <typename T>
    T *child(const char *name) const
    {
        return login->findChild<T *>(QString::fromLatin1(name));
    }
    QComboBox *account() const { return child<QComboBox>("account_ComboBox"); }
    QLineEdit *password() const { return child<QLineEdit>("pswd"); }
    QCheckBox *checkBox() const { return child<QCheckBox>("checkBox"); }
    QListWidget *rows() const { return qobject_cast<QListWidget *>(account()->view()); }

    QStringList rowTexts() const
    {
        QStringList texts;
        for (int i = 0; i < account()->count(); ++i)
            texts.append(account()->itemText(i));
        return texts;
    }

    QPushButton *deleteButton(int row) const
    {
        QWidget *rowWidget = rows()->itemWidget(rows()->item(row));
        return rowWidget ? rowWidget->findChild<QPushButton *>() : nullptr;
    }

    void enter(const QString &name, const QString &secret) const
    {
        account()->setEditText(name);
        password()->setText(secret);
    }

    void clickLogin() const
    {
        QTest::mouseClick(child<QToolButton>("Btnlogin"), Qt::LeftButton);
    }

    std::unique_ptr<Login> login;
    std::unique_ptr<MainWindow> mainWindow;
};

// What the main window was handed, and what was visible at that moment.
struct HandOver {
    int count = 0;
    QByteArray token;
    QString name;
    QString password;
    bool mainWindowVisible = false;
    bool loginVisible = true;
};

void watchHandOver(LoginUnderTest &dialog, HandOver &handOver)
{
    QObject::connect(dialog.login.get(), &Login::sendToken, dialog.login.get(),
                     [&dialog, &handOver](std::string token, QString name, QString password) {
                         ++handOver.count;
                         handOver.token = QByteArray::fromStdString(token);
                         handOver.name = name;
                         handOver.password = password;
                         handOver.mainWindowVisible = dialog.mainWindow->isVisible();
                         handOver.loginVisible = dialog.login->isVisible();
                     });
}

bool shownRejection(const MessageRecorder &recorder)
{
    for (const MessageBoxes::Request &box : recorder.boxes()) {
        if (box.text == QStringLiteral("账号或密码错误，请重新输入"))
            return true;
    }
    return false;
}

} // namespace

Q_DECLARE_METATYPE(Account)
Q_DECLARE_METATYPE(sim::Fault)

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void formWidgets_data();
    void formWidgets();
    void successfulLogin_data();
    void successfulLogin();
    void tokenFromAnyReplyThatCarriesOne();
    void rejectedCredentials();
    void silentFailures_data();
    void silentFailures();
    void specialCharactersTravelEncoded();
    void enterDoesNotLogIn();
    void rememberedAccountsFillTheDropDown_data();
    void rememberedAccountsFillTheDropDown();
    void typingClearsThePassword();
    void deleteRows();
    void recordingRespectsTheLimit_data();
    void recordingRespectsTheLimit();
    void damagedFileReadsSafely_data();
    void damagedFileReadsSafely();
};

void TestLogin::initTestCase()
{
    initKorvaneResources();
}

void TestLogin::formWidgets_data()
{
    QTest::addColumn<QString>("objectName");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");   // null: not fixed by the form
    QTest::addColumn<QString>("text");

    QTest::newRow("account") << "account_ComboBox" << "QComboBox" << QRect(730, 190, 211, 31) << QString();
    QTest::newRow("pswd") << "pswd" << "QLineEdit" << QRect(730, 250, 211, 31) << QString();
    QTest::newRow("checkBox") << "checkBox" << "QCheckBox" << QRect(740, 300, 111, 21)
                              << QStringLiteral("是否记住密码");
    QTest::newRow("Btnlogin") << "Btnlogin" << "QToolButton" << QRect(750, 340, 181, 31) << QStringLiteral("登入");
    QTest::newRow("frame") << "frame" << "QFrame" << QRect(0, 400, 1041, 101) << QString();
    QTest::newRow("btnMin") << "btnMin" << "QPushButton" << QRect() << QString();
    QTest::newRow("btnExit") << "btnExit" << "QPushButton" << QRect() << QString();
    QTest::newRow("widgetTitle") << "widgetTitle" << "QWidget" << QRect() << QString();
    QTest::newRow("widget") << "widget" << "QWidget" << QRect() << QString();
}

void TestLogin::formWidgets()
{
    QFETCH(QString, objectName);
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(QString, text);

    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    LoginUnderTest dialog;
    QVERIFY(QTest::qWaitForWindowExposed(dialog.login.get()));

    QCOMPARE(dialog.login->size(), QSize(1038, 619));
    QCOMPARE(dialog.login->maximumSize(), QSize(1038, 619));
    QCOMPARE(dialog.login->windowTitle(), QStringLiteral("Form"));
    QVERIFY(dialog.login->windowFlags() & Qt::FramelessWindowHint);
    QVERIFY(!dialog.mainWindow->isVisible());

    QWidget *widget = dialog.login->findChild<QWidget *>(objectName);
    QVERIFY2(widget, qPrintable(objectName));
    QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
    if (!geometry.isNull())
        QCOMPARE(widget->geometry(), geometry);
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        QCOMPARE(button->text(), text);

    // The placeholders, the password echo and the title bar's fixed parts.
    QCOMPARE(dialog.account()->lineEdit()->placeholderText(), QStringLiteral("请输入用户名"));
    QCOMPARE(dialog.password()->placeholderText(), QStringLiteral("请输入密码"));
    QCOMPARE(dialog.password()->echoMode(), QLineEdit::Password);
    QVERIFY(dialog.account()->isEditable());
    QCOMPARE(dialog.child<QWidget>("widgetTitle")->height(), 90);
    QCOMPARE(dialog.child<QPushButton>("btnMin")->size(), QSize(30, 30));
    QCOMPARE(dialog.child<QPushButton>("btnMin")->toolTip(), QStringLiteral("最小化"));
    QCOMPARE(dialog.child<QPushButton>("btnExit")->toolTip(), QStringLiteral("退出"));
    QVERIFY(!dialog.child<QPushButton>("btnExit")->icon().isNull());
    QStringList labels;
    for (const QLabel *label : dialog.login->findChildren<QLabel *>())
        labels.append(label->text());
    QVERIFY(labels.contains(QStringLiteral("Korvane远程接入灵途")));
    QVERIFY(labels.filter(QStringLiteral("用户登录")).size() == 1);
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

    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    SimFixture platform(testWorld());
    QVERIFY(platform.isRunning());
    MessageRecorder recorder;
    LoginUnderTest dialog;
    QVERIFY(QTest::qWaitForWindowExposed(dialog.login.get()));
    HandOver handOver;
    watchHandOver(dialog, handOver);

    dialog.enter(QStringLiteral("user3"), QStringLiteral("Secret@3"));
    for (int i = 0; i < checkBoxClicks; ++i)
        QTest::mouseClick(dialog.checkBox(), Qt::LeftButton);
    // The box only decides what the next login stores.
    QVERIFY(!QFile::exists(workDir.filePath(QStringLiteral("login.ini"))));
    dialog.clickLogin();

    QCOMPARE(handOver.count, 1);
    QVERIFY(handOver.mainWindowVisible);
    QVERIFY(!handOver.loginVisible);
    QVERIFY(!dialog.login->isVisible());
    QCOMPARE(handOver.name, QStringLiteral("user3"));
    QCOMPARE(handOver.password, QStringLiteral("Secret@3"));
    QCOMPARE(dialog.mainWindow->sessionToken, handOver.token);
    QVERIFY(!shownRejection(recorder));

    // The token is the one the platform issued: the platform accepts it for a later operation.
    QVERIFY(!handOver.token.isEmpty());
    const int customer = platform->world().accounts.value(0).customerId;
    const std::optional<QByteArray> check = platformExchange(Operations::getCustomerInfo(handOver.token, customer));
    QVERIFY(check);
    QCOMPARE(replyCode(JsonDocument::parse(*check)).value_or(-1), ReplyCode::Success);

    const QList<Account> stored = storedAccounts();
    QCOMPARE(stored.size(), 1);
    QCOMPARE(stored.at(0).name, QStringLiteral("user3"));
    QCOMPARE(stored.at(0).password, QStringLiteral("Secret@3"));
    QCOMPARE(stored.at(0).flag, storedFlag);
}

void TestLogin::tokenFromAnyReplyThatCarriesOne()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    SimFixture platform(testWorld());
    QVERIFY(platform.isRunning());
    MessageRecorder recorder;
    LoginUnderTest dialog;
    HandOver handOver;
    watchHandOver(dialog, handOver);
    dialog.enter(QStringLiteral("user1"), QStringLiteral("Secret@1"));

    // A refused reply that still carries a token: no login, but the token is kept ...
    sim::Fault refused;
    refused.body = sim::Fault::Body::Custom;
    refused.customBody = R"({"code":10003,"data":{"token":"kept-from-before"}})";
    refused.times = 1;
    platform->setFault(QStringLiteral("getLintraToken"), refused);
    dialog.clickLogin();
    QCOMPARE(handOver.count, 0);
    QVERIFY(dialog.login->isVisible());

    // ... and handed over by a later success that carries none.
    sim::Fault granted;
    granted.body = sim::Fault::Body::Custom;
    granted.customBody = R"({"code":100,"msg":"ok"})";
    granted.times = 1;
    platform->setFault(QStringLiteral("getLintraToken"), granted);
    dialog.clickLogin();
    QCOMPARE(handOver.count, 1);
    QCOMPARE(handOver.token, QByteArray("kept-from-before"));
    QVERIFY(!shownRejection(recorder));
}

void TestLogin::rejectedCredentials()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    SimFixture platform(testWorld());
    QVERIFY(platform.isRunning());
    MessageRecorder recorder;
    LoginUnderTest dialog;
    HandOver handOver;
    watchHandOver(dialog, handOver);

    dialog.enter(QStringLiteral("user2"), QStringLiteral("not the password"));
    dialog.clickLogin();

    QCOMPARE(platform->requests(QStringLiteral("getLintraToken")).size(), 1);
    QCOMPARE(recorder.count(), 1);
    QCOMPARE(recorder.last().kind, MessageBoxes::Kind::About);
    QCOMPARE(recorder.last().title, QString());
    QCOMPARE(recorder.last().text, QStringLiteral("账号或密码错误，请重新输入"));
    QVERIFY(recorder.last().parent == nullptr);
    QCOMPARE(dialog.account()->currentText(), QString());
    QCOMPARE(dialog.password()->text(), QString());
    QVERIFY(dialog.login->isVisible());
    QVERIFY(!dialog.mainWindow->isVisible());
    QCOMPARE(handOver.count, 0);
    QVERIFY(!QFile::exists(workDir.filePath(QStringLiteral("login.ini"))));
}

void TestLogin::silentFailures_data()
{
    QTest::addColumn<bool>("stopPlatform");
    QTest::addColumn<sim::Fault>("fault");

    sim::Fault none;
    sim::Fault dropped;
    dropped.dropConnection = true;
    sim::Fault notJson;
    notJson.body = sim::Fault::Body::NotJson;
    sim::Fault truncated;
    truncated.body = sim::Fault::Body::Truncated;
    sim::Fault noCode;
    noCode.body = sim::Fault::Body::Custom;
    noCode.customBody = R"({"data":{"token":"t"}})";
    sim::Fault codeAsText;
    codeAsText.body = sim::Fault::Body::Custom;
    codeAsText.customBody = R"({"code":"100","data":{"token":"t"}})";
    sim::Fault loggedInElsewhere;
    loggedInElsewhere.code = ReplyCode::LoggedInElsewhere;
    sim::Fault serverError;
    serverError.httpStatus = 500;
    serverError.body = sim::Fault::Body::NotJson;

    QTest::newRow("platform stopped") << true << none;
    QTest::newRow("connection dropped") << false << dropped;
    QTest::newRow("not JSON") << false << notJson;
    QTest::newRow("truncated JSON") << false << truncated;
    QTest::newRow("no code") << false << noCode;
    QTest::newRow("code as text") << false << codeAsText;
    QTest::newRow("other code") << false << loggedInElsewhere;
    QTest::newRow("HTTP 500") << false << serverError;
}

void TestLogin::silentFailures()
{
    QFETCH(bool, stopPlatform);
    QFETCH(sim::Fault, fault);

    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    SimFixture platform(testWorld());
    QVERIFY(platform.isRunning());
    platform->setFault(QStringLiteral("getLintraToken"), fault);
    if (stopPlatform)
        platform->stop();
    MessageRecorder recorder;
    LoginUnderTest dialog;
    HandOver handOver;
    watchHandOver(dialog, handOver);

    dialog.enter(QStringLiteral("user1"), QStringLiteral("Secret@1"));
    dialog.clickLogin();

    QVERIFY(recorder.isEmpty());
    QCOMPARE(handOver.count, 0);
    QVERIFY(dialog.login->isVisible());
    QVERIFY(!dialog.mainWindow->isVisible());
    // The user may simply try again.
    QCOMPARE(dialog.account()->currentText(), QStringLiteral("user1"));
    QCOMPARE(dialog.password()->text(), QStringLiteral("Secret@1"));
    QVERIFY(!QFile::exists(workDir.filePath(QStringLiteral("login.ini"))));
}

void TestLogin::specialCharactersTravelEncoded()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    SimFixture platform(testWorld());
    QVERIFY(platform.isRunning());
    MessageRecorder recorder;
    LoginUnderTest dialog;
    HandOver handOver;
    watchHandOver(dialog, handOver);

    dialog.enter(QStringLiteral("工程师 a&b"), ampersandPassword);
    dialog.clickLogin();

    const QList<sim::RecordedRequest> requests = platform->requests(QStringLiteral("getLintraToken"));
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.at(0).value(QStringLiteral("userName")), QStringLiteral("工程师 a&b"));
    QCOMPARE(requests.at(0).value(QStringLiteral("passWord")), ampersandPassword);
    QCOMPARE(handOver.count, 1);
    QCOMPARE(handOver.password, ampersandPassword);
    QCOMPARE(storedAccounts().value(0).password, ampersandPassword);
}

void TestLogin::enterDoesNotLogIn()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    SimFixture platform(testWorld());
    QVERIFY(platform.isRunning());
    MessageRecorder recorder;
    LoginUnderTest dialog;
    QVERIFY(QTest::qWaitForWindowExposed(dialog.login.get()));

    dialog.enter(QStringLiteral("user1"), QStringLiteral("Secret@1"));
    for (QWidget *field : {static_cast<QWidget *>(dialog.account()->lineEdit()),
                           static_cast<QWidget *>(dialog.password())}) {
        QTest::keyClick(field, Qt::Key_Return);
        QTest::keyClick(field, Qt::Key_Enter);
    }
    QVERIFY(platform->requests(QStringLiteral("getLintraToken")).isEmpty());
    QVERIFY(dialog.login->isVisible());
    // Nor does it turn the typed name into a drop-down row without a delete button.
    QCOMPARE(dialog.account()->count(), 0);
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

    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    storeAccounts(accounts);
    MessageRecorder recorder;
    LoginUnderTest dialog;

    QStringList names;
    for (const Account &account : accounts)
        names.append(account.name);
    QCOMPARE(dialog.rowTexts(), names);
    QVERIFY(dialog.rows());
    for (int row = 0; row < accounts.size(); ++row) {
        QPushButton *button = dialog.deleteButton(row);
        QVERIFY(button);
        QCOMPARE(button->size(), QSize(15, 15));
        QCOMPARE(button->styleSheet(),
                 QStringLiteral("QPushButton{border-image:url(:/image/错误.png);border-width:3px}"));
    }

    // The start state follows the first account.
    const bool firstRemembered = accounts.at(0).flag == "true";
    QCOMPARE(dialog.account()->currentText(), accounts.at(0).name);
    QCOMPARE(dialog.password()->text(), firstRemembered ? accounts.at(0).password : QString());
    QCOMPARE(dialog.checkBox()->isChecked(), firstRemembered);

    // Choosing a row fills the password only for a remembered one; back and forth keeps it so.
    QList<int> order;
    for (int row = accounts.size() - 1; row >= 0; --row)
        order.append(row);
    for (int row : order) {
        dialog.account()->setCurrentIndex(row);
        const bool remembered = accounts.at(row).flag == "true";
        QCOMPARE(dialog.account()->currentText(), accounts.at(row).name);
        QCOMPARE(dialog.password()->text(), remembered ? accounts.at(row).password : QString());
        QCOMPARE(dialog.checkBox()->isChecked(), remembered);
    }
    QVERIFY(recorder.isEmpty());
}

void TestLogin::typingClearsThePassword()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    storeAccounts({{QStringLiteral("alice"), QStringLiteral("A-pass"), "true"}});
    LoginUnderTest dialog;
    QVERIFY(QTest::qWaitForWindowExposed(dialog.login.get()));
    QCOMPARE(dialog.password()->text(), QStringLiteral("A-pass"));

    QTest::keyClick(dialog.account()->lineEdit(), Qt::Key_End);
    QTest::keyClicks(dialog.account()->lineEdit(), QStringLiteral("x"));
    QCOMPARE(dialog.account()->currentText(), QStringLiteral("alicex"));
    QCOMPARE(dialog.password()->text(), QString());

    // Every keystroke, not only the first.
    dialog.password()->setText(QStringLiteral("typed"));
    QTest::keyClick(dialog.account()->lineEdit(), Qt::Key_Backspace);
    QCOMPARE(dialog.password()->text(), QString());
}

void TestLogin::deleteRows()
{
    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    const QList<Account> accounts = {{QStringLiteral("alice"), QStringLiteral("A-pass"), "true"},
                                     {QStringLiteral("bob"), QStringLiteral("B-pass"), "false"},
                                     {QStringLiteral("carol"), QStringLiteral("C-pass"), "true"}};
    storeAccounts(accounts);
    LoginUnderTest dialog;

    // The middle row: the others move up, in the file and in the drop-down.
    QVERIFY(dialog.deleteButton(1));
    dialog.deleteButton(1)->click();
    QCOMPARE(storedAccounts(), (QList<Account>{accounts.at(0), accounts.at(2)}));
    QCOMPARE(dialog.rowTexts(), (QStringList{QStringLiteral("alice"), QStringLiteral("carol")}));

    // The button of a row that moved up deletes that row's account.
    QVERIFY(dialog.deleteButton(1));
    dialog.deleteButton(1)->click();
    QCOMPARE(storedAccounts(), (QList<Account>{accounts.at(0)}));
    QCOMPARE(dialog.rowTexts(), QStringList{QStringLiteral("alice")});
    QCOMPARE(dialog.password()->text(), QStringLiteral("A-pass"));

    // The last one: three empty lists in the file, an empty drop-down and password.
    QVERIFY(dialog.deleteButton(0));
    dialog.deleteButton(0)->click();
    const AccountStore::Lists lists = AccountStore::load();
    QVERIFY(lists.userNames.isEmpty() && lists.passwords.isEmpty() && lists.flags.isEmpty());
    QSettings file(workDir.filePath(QStringLiteral("login.ini")), QSettings::IniFormat);
    QVERIFY(file.childGroups().contains(QStringLiteral("config")));
    QCOMPARE(dialog.account()->count(), 0);
    QCOMPARE(dialog.password()->text(), QString());

    // Nothing is left to choose, and a later login starts a new list.
    SimFixture platform(testWorld());
    QVERIFY(platform.isRunning());
    dialog.enter(QStringLiteral("user4"), QStringLiteral("Secret@4"));
    dialog.clickLogin();
    QCOMPARE(storedAccounts().size(), 1);
    QCOMPARE(storedAccounts().at(0).name, QStringLiteral("user4"));
}

void TestLogin::recordingRespectsTheLimit_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QList<Account>>("expected");

    const QList<Account> eight = numberedAccounts(8, "true");
    QList<Account> moved = eight;
    moved.removeAt(0);
    moved.append({QStringLiteral("user1"), QStringLiteral("Secret@1"), "true"});
    QTest::newRow("ninth account is not added") << QStringLiteral("user9") << eight;
    QTest::newRow("stored account moves to the tail") << QStringLiteral("user1") << moved;
}

void TestLogin::recordingRespectsTheLimit()
{
    QFETCH(QString, name);
    QFETCH(QList<Account>, expected);

    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    storeAccounts(numberedAccounts(8, "true"));
    SimFixture platform(testWorld());
    QVERIFY(platform.isRunning());
    MessageRecorder recorder;
    LoginUnderTest dialog;
    HandOver handOver;
    watchHandOver(dialog, handOver);
    QCOMPARE(dialog.account()->count(), 8);

    dialog.enter(name, QStringLiteral("Secret@") + name.mid(4));
    dialog.clickLogin();
    QCOMPARE(handOver.count, 1);
    QCOMPARE(storedAccounts(), expected);
}

void TestLogin::damagedFileReadsSafely_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("rows");

    QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[config\n\x01\x02=\x03", 12) << 0;
    QTest::newRow("plain text values") << QByteArray("[config]\nusername=alice\npassword=secret\n") << 0;
    QTest::newRow("invalid variant") << QByteArray("[config]\nusername=@Invalid()\nisrembered=@Variant(\\0)\n") << 0;
    QTest::newRow("truncated variant")
        << QByteArray("[config]\nusername=@Variant(\\0\\0\\0\\x31\\0\\0\\0\\0\\x5\\0\\0\\0\\x10\\x1\\x2)\n") << 0;
    QTest::newRow("oversized list count")
        << QByteArray("[config]\nusername=@Variant(\\0\\0\\0\\x31\\0\\x7f\\xff\\xff\\xff)\n") << 0;
    // Entries that are not whole cipher blocks, and lists of different lengths.
    QTest::newRow("partial blocks") << QByteArray("[config]\nusername=@Variant(\\0\\0\\0\\x31\\0\\0\\0\\0\\x2\\0\\0\\0"
                                                  "\\x3\\x61\\x62\\x63\\0\\0\\0\\0)\n")
                                    << 2;
}

void TestLogin::damagedFileReadsSafely()
{
    QFETCH(QByteArray, content);
    QFETCH(int, rows);

    ScopedWorkDir workDir;
    QVERIFY(workDir.isValid());
    {
        QFile file(workDir.filePath(QStringLiteral("login.ini")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    SimFixture platform(testWorld());
    QVERIFY(platform.isRunning());
    MessageRecorder recorder;
    LoginUnderTest dialog;
    QVERIFY(QTest::qWaitForWindowExposed(dialog.login.get()));

    QCOMPARE(dialog.account()->count(), rows);
    QCOMPARE(dialog.password()->text(), QString());
    QVERIFY(!dialog.checkBox()->isChecked());
    for (int row = 0; row < rows; ++row)
        dialog.account()->setCurrentIndex(row);

    // The dialog stays usable: a login still works and is recorded.
    dialog.enter(QStringLiteral("user5"), QStringLiteral("Secret@5"));
    dialog.clickLogin();
    QVERIFY(!dialog.login->isVisible());
    const QList<Account> stored = storedAccounts();
    QVERIFY(!stored.isEmpty());
    QCOMPARE(stored.last().name, QStringLiteral("user5"));
    QVERIFY(!shownRejection(recorder));
}

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
