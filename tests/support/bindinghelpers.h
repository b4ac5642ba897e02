#pragma once

#include "support/fakehostsystem.h"
#include "support/messagerecorder.h"
#include "support/simfixture.h"
#include "support/workdir.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class MainWindow;
class QLabel;

// Set-up shared by the TAP binding and user settings tests: demo accounts and TAPs of the
// simulator's demo world, a scene to run a main window in, and TAPBOUND.ini read and written
// the way the program does.
namespace bindingtest {

inline const QString demo = QStringLiteral("demo");
inline const QString demoPassword = QStringLiteral("Demo@2026");
inline const QString engineer = QStringLiteral("engineer");
inline const QString engineerPassword = QStringLiteral("Field #1 & co+");
inline const QString tap1 = QStringLiteral("TAP-DEMO-0001");
inline const QString tap1Password = QStringLiteral("Tap@0001");
inline const QString tap2 = QStringLiteral("TAP-DEMO-0002");
inline const QString tap2Password = QStringLiteral("Tap #2 & +x");
inline const QString specialName = QStringLiteral("工程师 a&b");
inline const QString specialPassword = QStringLiteral("p&ss#w%rd+ 1");

// Working directory, platform, host and message boxes; torn down after the windows of a test.
struct Scene {
    ScopedWorkDir dir;
    SimFixture platform;
    FakeHostSystem host;
    MessageRecorder boxes;

    bool isReady() const { return dir.isValid() && platform.isRunning(); }
    int requestCount(const QString &operation) { return platform->requests(operation).size(); }
};

// A platform fault from a reply code (> 0) or one of these.
enum Trouble { Drop = -1, NotJson = -2, Truncated = -3, Custom = -4 };
sim::Fault fault(int trouble, const QByteArray &customBody = QByteArray());

// A stored entry as text, and text as the program stores it.
QString decipher(const QByteArray &cipher);
QByteArray encipher(const QString &text);
// "user|serial|password" as one stored binding reads.
QString binding(const QString &user, const QString &serial, const QString &password);
// The bindings of ./TAPBOUND.ini, deciphered, entry 0 first.
QStringList storedBindings();
// Puts a binding at the front of ./TAPBOUND.ini, as a bind in an earlier program run did.
void storeBinding(const QString &user, const QString &serial, const QString &password);
QByteArray fileBytes(const QString &path = QStringLiteral("./TAPBOUND.ini"));

// A fresh token for the account, handed to the window as the login dialog does (which runs the
// start-up TAP check); false when the platform issued none.
bool logIn(MainWindow &window, const QString &user, const QString &password);
// Fills the bind page and presses its button.
void bindManually(MainWindow &window, const QString &serial, const QString &password);
bool showsBindPage(const MainWindow &window);
bool showsPicture(const QLabel *label, const QString &path);
// A tapAuthLogin success with `rows` gateways.
QByteArray gatewayPage(int rows);

// The accounts of ./login.ini as "name|password|flag", entry 0 first, and written from that form.
QStringList storedAccounts();
void storeAccounts(const QStringList &accounts);
// The demo world with platform accounts user1..user9 ("Secret@1".."Secret@9") and specialName, whose
// name and password need encoding.
sim::World loginWorld();

// The program's own warning and debug lines while installed; Qt's plugins log under categories of
// their own and Qt's classes name themselves ("QCssParser::...").
namespace capturedLog {
void install(bool on);
inline QStringList warnings;
inline QStringList debugLines;
} // namespace capturedLog
// Every recorded box as "kind/parent/title/text", parent "window" or "none".
QStringList shownBoxes(const MessageRecorder &recorder);

} // namespace bindingtest
