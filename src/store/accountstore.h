#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// The remembered accounts of login.ini: three parallel lists of enciphered values (user names,
// passwords, remember flags). Accounts are matched by comparing cipher texts byte for byte.
namespace AccountStore {

constexpr int MaxRememberedAccounts = 8;
inline QString filePath() { return QStringLiteral("./login.ini"); }

struct Lists {
    QByteArrayList userNames;   // key "username"
    QByteArrayList passwords;   // key "password"
    QByteArrayList flags;       // key "isrembered"
};

// The lists are of one length and hold at most eight accounts (see SettingsLists::read).
Lists load(const QString &path = filePath());
// False when the file could not be written; it is then as it was (see SettingsLists::write).
bool save(const Lists &lists, const QString &path = filePath());

// What the user is told when the accounts could not be saved.
inline QString saveFailedText() { return QStringLiteral("账号信息保存失败，请检查磁盘空间或文件权限"); }

// After a successful login: a stored account moves to the tail with its new password and flag;
// a new one is appended while fewer than eight are stored; an empty name is never recorded.
void recordAccount(Lists &lists, const QByteArray &nameCipher, const QByteArray &passwordCipher,
                   const QByteArray &flagCipher);

// Removes the first account whose enciphered name equals nameCipher; returns its position or -1.
int removeAccount(Lists &lists, const QByteArray &nameCipher);

} // namespace AccountStore
