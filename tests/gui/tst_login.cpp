// The login dialog against the platform simulator: hand-over to the main window, the remembered
// accounts of login.ini, and the silent and reported failures.
#include "api/operations.h"
#include "app/logmessagehandler.h"
#include "api/platformexchange.h"
#include "api/platformreply.h"
#include "login/login.h"
#include "login/loginpictures.h"
#include "mainwindow/mainwindow.h"
#include "store/accountstore.h"
#include "support/bindinghelpers.h"
#include "support/filefaults.h"
#include "support/storedfiles.h"
#include "ui/busycursor.h"
#include "ui/resources.h"
#include "ui_mainwindow.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>

using namespace bindingtest;

namespace {

int mainWindowsBuilt()
{
    int count = 0;
    for (QWidget *window : QApplication::topLevelWidgets())
        count += qobject_cast<MainWindow *>(window) != nullptr;
    return count;
}

// How many main windows existed when the dialog was first painted (-1: not painted yet).
struct FirstPaintWatch : QObject {
    int mainWindowsAtFirstPaint = -1;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && mainWindowsAtFirstPaint < 0)
            mainWindowsAtFirstPaint = mainWindowsBuilt();
        return QObject::eventFilter(watched, event);
    }
};

// One test's world: login.ini prepared before the dialog reads it (accounts, or raw bytes), the
// simulator, recorded boxes, and the dialog with the main window its login creates (which the
// dialog never deletes; the scene does).
struct LoginScene {
    explicit LoginScene(const QStringList &stored = {}, const QByteArray &rawLoginIni = {}) : platform(loginWorld())
    {
        if (QFile file(QStringLiteral("login.ini")); !rawLoginIni.isNull() && file.open(QIODevice::WriteOnly))
            file.write(rawLoginIni); // closed before the dialog reads it
        if (!stored.isEmpty())
            storeAccounts(stored);
        login = std::make_unique<Login>();
        login->mainWindowBuilt = [this](MainWindow *window) { mainWindow.reset(window); };
        login->installEventFilter(&firstPaint);
        QObject::connect(login.get(), &Login::sendToken, login.get(),
                         [this](const std::string &token, const QString &name, const QString &password) {
                             handOvers.append({QString::fromStdString(token), name, password});
                             mainWindowShownAtHandOver = mainWindow->isVisible();
                         });
        login->show();
    }

    bool ready() { return workDir.isValid() && platform.isRunning() && QTest::qWaitForWindowExposed(login.get()); }
    template <typename T> T *child(const char *name) const { return login->findChild<T *>(QLatin1String(name)); }
    QComboBox *account() const { return child<QComboBox>("account_ComboBox"); }
    QLineEdit *password() const { return child<QLineEdit>("pswd"); }
    QCheckBox *checkBox() const { return child<QCheckBox>("checkBox"); }
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

    ScopedWorkDir workDir;
    SimFixture platform;
    MessageRecorder recorder;
    FirstPaintWatch firstPaint;
    std::unique_ptr<Login> login;
    std::unique_ptr<MainWindow> mainWindow;
    QList<QStringList> handOvers; // token, name, password
    bool mainWindowShownAtHandOver = false;
};

enum Fault { FileIsDirectory, ImmutableFile, FullDisk };

struct Attempt {
    bool eightStored; // user1..user8, remembered
    QString name;
    int checkBoxClicks, trouble;
    QString recordedFlag; // null: the account is not recorded
};

// The busy cursor as each exchange begins and after it ended ("none": the normal cursor).
ExchangeActivityHook busyCursorHook = nullptr;
QStringList cursorsAtExchanges;
QString overrideCursor()
{
    const QCursor *cursor = QGuiApplication::overrideCursor();
    return cursor ? QString::number(cursor->shape()) : QStringLiteral("none");
}
void recordCursor(bool busy)
{
    busyCursorHook(busy);
    cursorsAtExchanges << (busy ? QStringLiteral("begin ") : QStringLiteral("end ")) + overrideCursor();
}

} // namespace

Q_DECLARE_METATYPE(Attempt)

class TestLogin : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initKorvaneResources(); }

    void form_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("rows");
        QTest::newRow("no file") << QByteArray() << 0;
        // QSettings streams a byte-array list as @Variant(type 0x92, count, length-prefixed entries).
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\xfe[config\n\x01\x02=\x03", 15) << 0;
        QTest::newRow("huge entry count")
            << QByteArray("[config]\nusername=@Variant(\\0\\0\\0\\x92\\x7f\\xff\\xff\\xff)\n") << 0;
        // Entries that are not whole cipher blocks, and lists of different lengths.
        QTest::newRow("partial blocks") << QByteArray("[config]\nusername=@Variant(\\0\\0\\0\\x92\\0\\0\\0\\x2"
                                                      "\\0\\0\\0\\x3\\x61\\x62\\x63\\0\\0\\0\\0)\n") << 2;
    }

    // The form is the same whatever login.ini holds, and a damaged one reads safely.
    void form()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, rows);
        LoginScene scene({}, content);
        QVERIFY(scene.ready());
        QVERIFY(scene.login->size() == QSize(1038, 619) && scene.login->maximumSize() == QSize(1038, 619));
        QVERIFY(scene.login->windowTitle() == QLatin1String("Form") &&
                scene.login->windowFlags() & Qt::FramelessWindowHint);
        // Name, geometry (of the title-bar buttons, which a layout places, only the size) and text.
        QStringList shown;
        for (const char *name : {"account_ComboBox", "pswd", "checkBox", "Btnlogin", "frame", "btnMin", "btnExit"}) {
            const QWidget *widget = scene.child<QWidget>(name);
            QVERIFY2(widget, name);
            const auto *button = qobject_cast<const QAbstractButton *>(widget);
            const auto *edit = widget->findChild<QLineEdit *>() ? widget->findChild<QLineEdit *>()
                                                                : qobject_cast<const QLineEdit *>(widget);
            const QRect rect = qstrncmp(name, "btn", 3) ? widget->geometry() : QRect(QPoint(), widget->size());
            const QString text = button ? button->text() + button->toolTip()
                                 : edit ? edit->placeholderText()
                                        : QString();
            shown << QString::asprintf("%s %d,%d,%d,%d ", name, rect.x(), rect.y(), rect.width(), rect.height()) + text;
        }
        QCOMPARE(shown.join(QLatin1Char(';')),
                 QStringLiteral("account_ComboBox 730,190,211,31 请输入用户名;pswd 730,250,211,31 请输入密码;"
                                "checkBox 740,300,111,21 是否记住密码;Btnlogin 750,340,181,31 登入;frame 0,400,1041,101 ;"
                                "btnMin 0,0,30,30 最小化;btnExit 0,0,30,30 退出"));
        QStringList labels;
        for (const QLabel *label : scene.login->findChildren<QLabel *>())
            labels.append(label->text());
        QVERIFY(labels.contains(QStringLiteral("Korvane远程接入灵途")) &&
                labels.filter(QStringLiteral("用户登录")).size() == 1);
        QCOMPARE(scene.password()->echoMode(), QLineEdit::Password);
        QCOMPARE(scene.child<QWidget>("widgetTitle")->height(), 90);
        QVERIFY(showsPicture(scene.child<QLabel>("labelPicture"), QStringLiteral(":/image/login背景.png")));
        QCOMPARE(scene.account()->count(), rows);
        QVERIFY(scene.password()->text().isEmpty() && !scene.checkBox()->isChecked());
        for (int row = 0; row < rows; ++row)
            scene.account()->setCurrentIndex(row);
        // The dialog stays usable: a login still works and is recorded.
        scene.logIn(QStringLiteral("user5"), QStringLiteral("Secret@5"));
        QCOMPARE(storedAccounts().value(rows).section(QLatin1Char('|'), 0, 0), QStringLiteral("user5"));
    }

    void login_data()
    {
        QTest::addColumn<Attempt>("attempt");
        const QString user3 = QStringLiteral("user3");
        QTest::newRow("box never touched") << Attempt{false, user3, 0, 0, QStringLiteral("")};
        QTest::newRow("box checked") << Attempt{false, user3, 1, 0, QStringLiteral("true")};
        QTest::newRow("box checked and unchecked") << Attempt{false, user3, 2, 0, QStringLiteral("false")};
        QTest::newRow("characters that need encoding") << Attempt{false, specialName, 0, 0, QStringLiteral("")};
        QTest::newRow("ninth account not added") << Attempt{true, QStringLiteral("user9"), 0, 0, {}};
        // Failures hand nothing over and record nothing.
        for (const int trouble :
             {int(ReplyCode::CredentialsRejected), int(Drop), int(NotJson), int(ReplyCode::LoggedInElsewhere)})
            QTest::addRow("failure %d", trouble) << Attempt{false, user3, 1, trouble, {}};
        QTest::newRow("rejected without an account") << Attempt{false, QString(), 0, int(ReplyCode::CredentialsRejected), {}};
    }

    void login()
    {
        QFETCH(Attempt, attempt);
        const auto &[eightStored, name, checkBoxClicks, trouble, recordedFlag] = attempt;
        const QString password = name == specialName ? specialPassword : QStringLiteral("Secret@") + name.mid(4);
        QStringList stored;
        for (int n = 1; eightStored && n <= 8; ++n)
            stored << QStringLiteral("user%1|Secret@%1|true").arg(n);
        LoginScene scene(stored);
        QVERIFY(scene.ready());
        if (trouble)
            scene.platform->setFault(QStringLiteral("getLintraToken"), fault(trouble));
        for (int i = 0; i < checkBoxClicks; ++i)
            QTest::mouseClick(scene.checkBox(), Qt::LeftButton);
        QCOMPARE(storedAccounts(), stored); // the box alone does not touch the file

        if (checkBoxClicks == 1) { // Enter in the password field signs in, as the button does
            scene.account()->setEditText(name);
            scene.password()->setText(password);
            QTest::keyClick(scene.password(), Qt::Key_Return);
        } else {
            scene.logIn(name, password);
        }
        QCOMPARE(scene.platform->requests().size(), 1);
        QCOMPARE(scene.platform->requests().first().query,
                 (QList<QPair<QString, QString>>{{QStringLiteral("userName"), name},
                                                 {QStringLiteral("passWord"), password}}));
        if (trouble) {
            QVERIFY(scene.handOvers.isEmpty() && scene.login->isVisible() && !scene.mainWindow &&
                    !QFile::exists(QStringLiteral("login.ini")));
            // Rejected credentials are told, with both fields cleared, and so is a platform out of reach;
            // after any other failure the user may simply retry.
            const bool rejected = trouble == ReplyCode::CredentialsRejected;
            const QString told = rejected ? QStringLiteral("about/none//账号或密码错误，请重新输入")
                                          : QStringLiteral("information/none/提示/网络连接失败，请检测您的网络状态后重试");
            QCOMPARE(shownBoxes(scene.recorder), rejected || trouble == Drop ? QStringList(told) : QStringList());
            QCOMPARE(scene.account()->currentText(), rejected ? QString() : name);
            QCOMPARE(scene.password()->text(), rejected ? QString() : password);
            return;
        }
        QVERIFY(scene.mainWindowShownAtHandOver && !scene.login->isVisible());
        QCOMPARE(scene.handOvers,
                 QList<QStringList>({{QString::fromUtf8(scene.mainWindow->sessionToken), name, password}}));
        // The token is the one the platform issued: it accepts it for a later operation.
        const auto reply = platformExchange(Operations::getCustomerInfo(scene.mainWindow->sessionToken, 1001));
        QCOMPARE(replyCode(JsonDocument::parse(reply.value_or(QByteArray()))).value_or(-1), ReplyCode::Success);
        if (!recordedFlag.isNull())
            stored << name + QLatin1Char('|') + password + QLatin1Char('|') + recordedFlag;
        QCOMPARE(storedAccounts(), stored);

        // The hidden dialog gives its window and picture back; shown again, it has both.
        const auto *picture = scene.child<QLabel>("labelPicture");
        QTRY_VERIFY(!scene.login->windowHandle() && picture->pixmap(Qt::ReturnByValue).isNull());
        scene.login->show();
        QVERIFY(QTest::qWaitForWindowExposed(scene.login.get()) && showsPicture(picture, QStringLiteral(":/image/login背景.png")));
    }

    // The user waits only for the dialog: it is painted before any main window exists; a failed
    // login builds none, the first successful one builds it before the hand-over, a later one
    // reuses it.
    void mainWindowBuiltByTheLogin()
    {
        LoginScene scene;
        QVERIFY(scene.ready());
        QTRY_VERIFY(scene.firstPaint.mainWindowsAtFirstPaint >= 0);
        QCOMPARE(scene.firstPaint.mainWindowsAtFirstPaint, 0);
        scene.platform->setFault(QStringLiteral("getLintraToken"), fault(ReplyCode::CredentialsRejected));
        scene.logIn(QStringLiteral("user3"), QStringLiteral("Secret@3"));
        QVERIFY(mainWindowsBuilt() == 0 && !scene.login->mainWindow);
        scene.platform->clearFaults();
        for (int login = 0; login < 2; ++login) {
            scene.login->show();
            scene.logIn(QStringLiteral("user3"), QStringLiteral("Secret@3"));
            QVERIFY(scene.mainWindowShownAtHandOver && scene.handOvers.size() == login + 1);
            QVERIFY(mainWindowsBuilt() == 1 && scene.login->mainWindow == scene.mainWindow.get());
        }
    }

    // The form's pictures are decoded on the pool before the dialog is built, and the dialog takes
    // them: the title bar and the logo from the pixmap cache, where the form's own loads find them.
    // Same pixels as a decode of the files.
    void picturesDecodedBeforeTheDialog()
    {
        const QString logo = QStringLiteral(":/image/logo3.png");
        QPixmapCache::clear();
        const QPixmap loaded(logo);
        QPixmap cached;
        QVERIFY(QPixmapCache::find(LoginPictures::pixmapCacheKey(logo), &cached));
        QCOMPARE(cached.cacheKey(), loaded.cacheKey());

        QPixmapCache::clear();
        LoginPictures::startDecoding();
        QThreadPool::globalInstance()->waitForDone();
        QCOMPARE(LoginPictures::waitingDecodes(), 7);
        LoginScene scene;
        QVERIFY(scene.ready());
        QCOMPARE(LoginPictures::waitingDecodes(), 0);
        const QPixmap shownLogo = scene.child<QLabel>("labelLogo")->pixmap(Qt::ReturnByValue);
        QVERIFY(QPixmapCache::find(LoginPictures::pixmapCacheKey(logo), &cached));
        QCOMPARE(shownLogo.cacheKey(), cached.cacheKey());
        QCOMPARE(shownLogo.toImage(), QImage(logo).convertToFormat(QImage::Format_ARGB32_Premultiplied));
        QCOMPARE(scene.child<QLabel>("labelPicture")->pixmap(Qt::ReturnByValue).toImage(),
                 QImage(QStringLiteral(":/image/login背景.png")).convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

    // Every exchange shows the busy cursor and puts the normal one back, also when it failed and
    // before any box comes up.
    void busyCursorDuringExchanges()
    {
        showBusyCursorDuringExchanges();
        busyCursorHook = installExchangeActivityHook(&recordCursor);
        LoginScene scene;
        QVERIFY(scene.ready());
        QStringList atBoxes;
        scene.recorder.setOnPresent([&](const MessageBoxes::Request &) { atBoxes << overrideCursor(); });
        for (const int trouble : {int(Drop), int(ReplyCode::CredentialsRejected), int(NotJson), 0}) {
            scene.platform->setFault(QStringLiteral("getLintraToken"), fault(trouble));
            scene.logIn(QStringLiteral("user3"), QStringLiteral("Secret@3"));
        }
        installExchangeActivityHook(nullptr);
        const QString waiting = QString::number(Qt::WaitCursor);
        QCOMPARE(cursorsAtExchanges.join(QLatin1Char(',')),
                 QStringLiteral("begin %1,end none,").arg(waiting).repeated(4).chopped(1));
        // The lost network, the rejected account, and after the login the main window's "not bound".
        QCOMPARE(atBoxes.join(QLatin1Char(',')), QStringLiteral("none,none,none"));
    }

    void rememberedAccounts_data()
    {
        QTest::addColumn<QStringList>("accounts");
        const QStringList mixed = {QStringLiteral("alice|A-pass|true"), QStringLiteral("李雷|B pass&|false"),
                                   QStringLiteral("carol|C-pass|"), QStringLiteral("dave|D-pass|true")};
        QTest::newRow("first remembered") << mixed;
        QTest::newRow("first not remembered") << QStringList({mixed.at(1), mixed.at(0), mixed.at(3)});
        QTest::newRow("one account, empty flag") << QStringList(mixed.at(2));
    }

    void rememberedAccounts()
    {
        QFETCH(QStringList, accounts);
        LoginScene scene(accounts);
        QVERIFY(scene.ready());
        QCOMPARE(scene.account()->count(), accounts.size());
        for (int row = 0; row < accounts.size(); ++row) {
            QCOMPARE(scene.account()->itemText(row), accounts.at(row).section(QLatin1Char('|'), 0, 0));
            QVERIFY(scene.deleteButton(row) && scene.deleteButton(row)->size() == QSize(15, 15));
        }
        // The start state follows the first account; choosing a row fills the password only for a
        // remembered one, back and forth.
        for (int row : {0, accounts.size() - 1, 0}) {
            scene.account()->setCurrentIndex(row);
            const QStringList account = accounts.at(row).split(QLatin1Char('|'));
            const bool remembered = account.at(2) == QLatin1String("true");
            QCOMPARE(scene.account()->currentText(), account.at(0));
            QCOMPARE(scene.password()->text(), remembered ? account.at(1) : QString());
            QCOMPARE(scene.checkBox()->isChecked(), remembered);
        }
        // A keystroke in the account field empties the password field.
        scene.password()->setText(QStringLiteral("typed"));
        QTest::keyClick(scene.account()->lineEdit(), Qt::Key_X);
        QCOMPARE(scene.password()->text(), QString());

        // Deleting the middle row each time: the others move up, in the file and the drop-down, and
        // the button of a row that moved up deletes that row's account.
        while (!accounts.isEmpty()) {
            const int row = accounts.size() / 2;
            QVERIFY(scene.deleteButton(row));
            scene.deleteButton(row)->click();
            accounts.removeAt(row);
            QCOMPARE(storedAccounts(), accounts);
            QCOMPARE(scene.account()->count(), accounts.size());
            QCOMPARE(scene.account()->itemText(row), accounts.value(row).section(QLatin1Char('|'), 0, 0));
        }
        // The last one leaves three empty lists in the file and an empty password; a later login
        // starts a new list.
        QVERIFY(AccountStore::load().passwords.isEmpty() && AccountStore::load().flags.isEmpty() &&
                QFile::exists(QStringLiteral("login.ini")) && scene.password()->text().isEmpty());
        scene.logIn(QStringLiteral("user4"), QStringLiteral("Secret@4"));
        QCOMPARE(storedAccounts().join(QLatin1Char(';')).section(QLatin1Char('|'), 0, 1),
                 QStringLiteral("user4|Secret@4"));
    }

    void unsavedAccount_data()
    {
        QTest::addColumn<int>("fault");
        QTest::newRow("file is a directory") << int(FileIsDirectory);
        QTest::newRow("immutable file, deletion") << int(ImmutableFile);
        QTest::newRow("one free block") << int(FullDisk);
    }

    // A login or a deletion whose accounts cannot be stored is told in a box and in the log; the
    // file stays as it was. (Each way a save can fail is tried on the store itself.)
    void unsavedAccount()
    {
        QFETCH(int, fault);
        LoginScene scene(fault == FileIsDirectory ? QStringList() : QStringList{QStringLiteral("user1|Secret@1|true")});
        QVERIFY(scene.ready());
        std::unique_ptr<filefaults::SmallDisk> disk;
        std::unique_ptr<filefaults::Immutable> immutable;
        if (fault == FileIsDirectory) {
            QVERIFY(QDir().mkdir(QStringLiteral("login.ini")));
        } else if (fault == ImmutableFile) {
            immutable = std::make_unique<filefaults::Immutable>(QStringLiteral("login.ini"));
            if (!immutable->isSet())
                QSKIP("needs root and a file system with the immutable attribute");
        } else {
            disk = std::make_unique<filefaults::SmallDisk>(QStringList(QStringLiteral("login.ini")));
            if (!disk->isReady())
                QSKIP("needs root to mount a tmpfs");
            QVERIFY(disk->fill(1));
        }
        const QByteArray before = fileBytes(QStringLiteral("login.ini"));
        capturedLog::install(true);
        if (fault == ImmutableFile)
            scene.deleteButton(0)->click();
        else
            scene.logIn(QStringLiteral("user3"), QStringLiteral("Secret@3"));
        capturedLog::install(false);
        QCOMPARE(shownBoxes(scene.recorder).value(fault == ImmutableFile ? 0 : 1),
                 QStringLiteral("warning/none/提示/账号信息保存失败，请检查磁盘空间或文件权限"));
        QVERIFY(capturedLog::warnings.contains(QStringLiteral("账号信息保存失败，请检查磁盘空间或文件权限")));
        QCOMPARE(fileBytes(QStringLiteral("login.ini")), before);
    }

    // After a login, a binding and a look at a gateway's site and devices, the stored files are
    // owner-only (also one that had wider rights before) and the day log holds no secret.
    void secretsStayPrivate()
    {
        LoginScene scene({QStringLiteral("user1|Secret@1|true")});
        QVERIFY(scene.ready());
        FakeHostSystem host;
        host.adapterList = {{QStringLiteral("TAP-Linux tun korvane0"), {QStringLiteral("10.8.0.6")}}};
        QVERIFY(QFile::setPermissions(QStringLiteral("login.ini"), QFile::ReadOwner | QFile::WriteOwner |
                                                                       QFile::ReadGroup | QFile::ReadOther));
        const QtMessageHandler previous = qInstallMessageHandler(dayLogMessageHandler);
        scene.logIn(specialName, specialPassword);
        MainWindow &window = *scene.mainWindow;
        bindManually(window, demo::tap, demo::tapPassword);
        QVERIFY(*window.tapBound && window.rootItem && window.rootItem->childCount() > 0);
        QTRY_VERIFY(window.tunnelConnected);
        emit window.ui->treeWidget->itemClicked(window.rootItem->child(0), 0);
        window.ReportState();
        qInstallMessageHandler(previous);

        QByteArray log;
        for (const QFileInfo &day : QDir(QStringLiteral("LogFile")).entryInfoList(QDir::Files))
            log += fileBytes(day.filePath());
        QVERIFY(log.contains("TUNNEL MSG:") && log.contains("流量"));
        for (const QByteArray &secret : {specialPassword.toUtf8(), demo::tapPassword.toUtf8(), window.sessionToken})
            QVERIFY2(!secret.isEmpty() && !log.contains(secret), secret.constData());
        QCOMPARE(storedAccounts().last().section(QLatin1Char('|'), 0, 1),
                 specialName + QLatin1Char('|') + specialPassword);
        QCOMPARE(storedBindings(), QStringList(binding(specialName, demo::tap, demo::tapPassword)));
        QCOMPARE(storedfile::mode(QStringLiteral("login.ini")) + storedfile::mode(QStringLiteral("TAPBOUND.ini")),
                 QStringLiteral("06000600"));
    }

};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
