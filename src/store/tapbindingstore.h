#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>

// The TAP bindings of TAPBOUND.ini: three parallel lists of enciphered values (platform user
// names, TAP serials, TAP passwords), the most recent binding first and at most one per user.
// A user's entry is found by comparing cipher texts byte for byte.
namespace TapBindingStore {

inline QString filePath() { return QStringLiteral("./TAPBOUND.ini"); }

struct Lists {
    QByteArrayList userNames;     // key "username"
    QByteArrayList tapSerials;    // key "boundtap"
    QByteArrayList tapPasswords;  // key "tappswd"
};

// The lists are of one length (see SettingsLists::read).
Lists load(const QString &path = filePath());
// False when the file could not be written; it is then as it was (see SettingsLists::write).
bool save(const Lists &lists, const QString &path = filePath());

// Puts the binding at the front, replacing the user's earlier one, and writes the file; false as
// for save (the lists are changed either way).
bool saveBinding(Lists &lists, const QByteArray &nameCipher, const QByteArray &serialCipher,
                 const QByteArray &passwordCipher, const QString &path = filePath());

// Removes every entry of the user from the three lists (same index in each); the file is not
// written. Positions missing from a shorter list are skipped.
void removeUser(Lists &lists, const QByteArray &nameCipher);

// Positions of the user's entries in userNames, ascending.
QList<int> indicesOf(const Lists &lists, const QByteArray &nameCipher);

// What the user is told when the bindings could not be saved.
inline QString saveFailedText() { return QStringLiteral("TAP绑定信息保存失败，请检查磁盘空间或文件权限"); }

} // namespace TapBindingStore
