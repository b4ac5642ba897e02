#include "crypto/credentialcipher.h"

#include "crypto/qaesencryption.h"

namespace CredentialCipher {

// A fresh cipher object per call: nothing, not even the key schedule, outlives one value.

QByteArray encipher(const QByteArray &plain, const QByteArray &key)
{
    QAESEncryption aes(QAESEncryption::Aes256, QAESEncryption::Ecb, QAESEncryption::Zero);
    return aes.encrypt(plain, key, QByteArray());
}

QByteArray decipher(const QByteArray &cipher, const QByteArray &key)
{
    QAESEncryption aes(QAESEncryption::Aes256, QAESEncryption::Ecb, QAESEncryption::Zero);
    return aes.stripPadding(aes.decrypt(cipher, key, QByteArray()));
}

} // namespace CredentialCipher
