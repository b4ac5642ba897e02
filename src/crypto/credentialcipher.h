#pragma once

#include <QByteArray>
#include <QString>

// The one cipher setting used for every secret on disk: AES-256, ECB, zero padding, the
// program's fixed key, no IV.
namespace CredentialCipher {

// The program's key text; AES-256 uses its first 32 bytes.
inline QString keyText() { return QStringLiteral("271828182845904523536028747135266"); }
inline QByteArray keyBytes() { return keyText().toLocal8Bit(); }

QByteArray encipher(const QByteArray &plain, const QByteArray &key);
QByteArray decipher(const QByteArray &cipher, const QByteArray &key);   // padding stripped

} // namespace CredentialCipher
