#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QMap>
#include <QString>
#include <QStringList>

// The client's stored files read back without any of the client's code: the INI text is parsed
// here, the serialized lists are read with QDataStream and the entries deciphered with OpenSSL
// (AES-256-ECB, the client's fixed key, zero padding).
namespace storedfile {

inline const QStringList accountKeys{QStringLiteral("username"), QStringLiteral("password"),
                                     QStringLiteral("isrembered")};
inline const QStringList bindingKeys{QStringLiteral("username"), QStringLiteral("boundtap"),
                                     QStringLiteral("tappswd")};

// The byte-array lists of the group "config", by key; keys whose value is no such list are left out.
QMap<QString, QByteArrayList> lists(const QString &path);

QByteArray decipher(const QByteArray &cipher);
QByteArray encipher(const QByteArray &plain);

// Entry i of every key, deciphered and joined with "|", keys in the given order;
// "<lists of different lengths>" when they differ.
QStringList records(const QString &path, const QStringList &keys);

// The permission bits of the file, as "0600".
QString mode(const QString &path);

} // namespace storedfile
