#pragma once

#include <QByteArray>
#include <QObject>

#include <array>

// AES (FIPS-197) with the block modes ECB, CBC, CFB (128-bit feedback) and OFB and three padding
// schemes. The settings are fixed per object; the key schedule is computed on every call.
class QAESEncryption : public QObject
{
    Q_OBJECT

public:
    enum AesLevel { Aes128 = 0, Aes192 = 1, Aes256 = 2 };
    enum CipherMode { Ecb = 0, Cbc = 1, Cfb = 2, Ofb = 3 };
    enum PaddingMode { Zero = 0, Pkcs7 = 1, Iso = 2 };
    Q_ENUM(AesLevel)
    Q_ENUM(CipherMode)
    Q_ENUM(PaddingMode)

    QAESEncryption(AesLevel level, CipherMode mode, PaddingMode padding = Zero);

    // Empty result when the key is shorter than the level needs or, outside ECB, the IV is not
    // exactly one block long. Key bytes beyond the level's key length are ignored.
    QByteArray encrypt(const QByteArray &plain, const QByteArray &key, const QByteArray &iv = QByteArray());
    // Leaves the padding in place; a trailing partial block is ignored.
    QByteArray decrypt(const QByteArray &cipher, const QByteArray &key, const QByteArray &iv = QByteArray());
    QByteArray stripPadding(const QByteArray &bytes) const;
    // The round keys, 16 * (Nr + 1) bytes; empty when the key is too short.
    QByteArray keyExpansion(const QByteArray &key) const;

private:
    static constexpr int blockLength = 16;

    void cipher(const QByteArray &expandedKey);
    void invCipher(const QByteArray &expandedKey);
    void addRoundKey(const QByteArray &expandedKey, int round);
    void subBytes();
    void invSubBytes();
    void shiftRows();
    void invShiftRows();
    void mixColumns();
    void invMixColumns();

    QByteArray encryptBlock(const QByteArray &expandedKey, const char *block);
    QByteArray decryptBlock(const QByteArray &expandedKey, const char *block);
    QByteArray padding(int length) const;
    static QByteArray byteXor(const QByteArray &a, const QByteArray &b);

    int m_nk;
    int m_nr;
    int m_keyLength;
    int m_expandedKeyLength;
    CipherMode m_mode;
    PaddingMode m_padding;

    std::array<quint8, 256> m_sbox{};
    std::array<quint8, 256> m_invSbox{};
    std::array<quint8, 11> m_rcon{};

    // The block being worked on by the round functions during a call.
    quint8 *m_state = nullptr;
};
