#pragma once

#include "support/scene.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

class MainWindow;

// The steps of a login and a binding as the user takes them, and TAPBOUND.ini and login.ini
// written the way the program does and read back without it (support/storedfiles.h). Used with a
// Scene (support/scene.h).
namespace bindingtest {

// An account of the login tests' world (loginWorld) whose name and password need encoding.
inline const QString specialName = QStringLiteral("工程师 a&b");
inline const QString specialPassword = QStringLiteral("p&ss#w%rd+ 1");

// A stored entry as text, and text as the program stores it.
QString decipher(const QByteArray &cipher);
QByteArray encipher(const QString &text);
// "user|serial|password" as one stored binding reads.
QString binding(const QString &user, const QString &serial, const QString &password);
// The bindings of ./TAPBOUND.ini as "user|serial|password", deciphered, entry 0 first.
QStringList storedBindings();
// Puts a binding at the front of ./TAPBOUND.ini, as a bind in an earlier program run did.
void storeBinding(const QString &user, const QString &serial, const QString &password);
// A file's bytes, empty when it cannot be read.
QByteArray fileBytes(const QString &path = QStringLiteral("./TAPBOUND.ini"));

// A fresh token for the account, handed to the window as the login dialog does (which runs the
// start-up TAP check); false when the platform issued none.
bool logIn(MainWindow &window, const QString &user, const QString &password);
// Fills the bind page and presses its button.
void bindManually(MainWindow &window, const QString &serial, const QString &password);
bool showsBindPage(const MainWindow &window);
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
