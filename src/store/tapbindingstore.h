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

Lists load(const QString &path = filePath());
void save(const Lists &lists, const QString &path = filePath());   // "username", "boundtap", "tappswd", in that order

// Puts the binding at the front, replacing the user's earlier one, and writes the file.
void saveBinding(Lists &lists, const QByteArray &nameCipher, const QByteArray &serialCipher,
                 const QByteArray &passwordCipher, const QString &path = filePath());

// Removes every entry of the user from the three lists (same index in each); the file is not
// written. Positions missing from a shorter list are skipped.
void removeUser(Lists &lists, const QByteArray &nameCipher);

// Positions of the user's entries in userNames, ascending.
QList<int> indicesOf(const Lists &lists, const QByteArray &nameCipher);

} // namespace TapBindingStore
