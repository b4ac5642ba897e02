#include "crypto/qaesencryption.h"

#include <QtGlobal>

#include <algorithm>
#include <utility>

namespace {

constexpr int wordsPerBlock = 4; // Nb

quint8 xtime(quint8 b)
{
    return quint8((b << 1) ^ ((b & 0x80) ? 0x1b : 0x00));
}

quint8 rotateLeft(quint8 b, int shift)
{
    return quint8((b << shift) | (b >> (8 - shift)));
}

struct LevelParameters {
    int nk;
    int nr;
};

LevelParameters parametersFor(QAESEncryption::AesLevel level)
{
    switch (level) {
    case QAESEncryption::Aes128:
        return {4, 10};
    case QAESEncryption::Aes192:
        return {6, 12};
    case QAESEncryption::Aes256:
        break;
    }
    return {8, 14};
}

} // namespace

QAESEncryption::QAESEncryption(AesLevel level, CipherMode mode, PaddingMode padding)
    : m_mode(mode)
    , m_padding(padding)
{
    const LevelParameters parameters = parametersFor(level);
    m_nk = parameters.nk;
    m_nr = parameters.nr;
    m_keyLength = 4 * m_nk;
    m_expandedKeyLength = 4 * wordsPerBlock * (m_nr + 1);

    // S-box: multiplicative inverse in GF(2^8) followed by the affine map. p walks through every
    // non-zero element as powers of 3 while q walks through their inverses (powers of 3^-1).
    quint8 p = 1;
    quint8 q = 1;
    do {
        p = quint8(p ^ xtime(p));
        q = quint8(q ^ (q << 1));
        q = quint8(q ^ (q << 2));
        q = quint8(q ^ (q << 4));
        if (q & 0x80)
            q ^= 0x09;
        const quint8 affine = quint8(q ^ rotateLeft(q, 1) ^ rotateLeft(q, 2) ^ rotateLeft(q, 3) ^ rotateLeft(q, 4));
        m_sbox[p] = quint8(affine ^ 0x63);
    } while (p != 1);
    m_sbox[0] = 0x63;
    for (int i = 0; i < 256; ++i)
        m_invSbox[m_sbox[i]] = quint8(i);

    // Round constants x^(i-1); index 0 is never used by the key schedule.
    m_rcon[1] = 0x01;
    for (std::size_t i = 2; i < m_rcon.size(); ++i)
        m_rcon[i] = xtime(m_rcon[i - 1]);
}

QByteArray QAESEncryption::keyExpansion(const QByteArray &key) const
{
    if (key.size() < m_keyLength)
        return QByteArray();

    // Only the first 4 * Nk key bytes enter the schedule.
    QByteArray expanded(m_expandedKeyLength, '\0');
    auto *w = reinterpret_cast<quint8 *>(expanded.data());
    std::copy_n(reinterpret_cast<const quint8 *>(key.constData()), m_keyLength, w);

    const int totalWords = wordsPerBlock * (m_nr + 1);
    for (int i = m_nk; i < totalWords; ++i) {
        quint8 temp[4] = {w[4 * i - 4], w[4 * i - 3], w[4 * i - 2], w[4 * i - 1]};
        if (i % m_nk == 0) {
            const quint8 first = temp[0];
            temp[0] = quint8(m_sbox[temp[1]] ^ m_rcon[std::size_t(i / m_nk)]);
            temp[1] = m_sbox[temp[2]];
            temp[2] = m_sbox[temp[3]];
            temp[3] = m_sbox[first];
        } else if (m_nk > 6 && i % m_nk == 4) {
            for (quint8 &b : temp)
                b = m_sbox[b];
        }
        for (int j = 0; j < 4; ++j)
            w[4 * i + j] = quint8(w[4 * (i - m_nk) + j] ^ temp[j]);
    }
    return expanded;
}

QByteArray QAESEncryption::encrypt(const QByteArray &plain, const QByteArray &key, const QByteArray &iv)
{
    if (m_mode != Ecb && iv.size() != blockLength)
        return QByteArray();
    const QByteArray expandedKey = keyExpansion(key);
    if (expandedKey.isEmpty())
        return QByteArray();

    const QByteArray padded = plain + padding(plain.size());
    QByteArray out;
    out.reserve(padded.size());
    QByteArray feedback = iv;
    for (int pos = 0; pos < padded.size(); pos += blockLength) {
        const QByteArray block = QByteArray::fromRawData(padded.constData() + pos, blockLength);
        switch (m_mode) {
        case Ecb:
            out += encryptBlock(expandedKey, block.constData());
            break;
        case Cbc:
            feedback = encryptBlock(expandedKey, byteXor(block, feedback).constData());
            out += feedback;
            break;
        case Cfb:
            feedback = byteXor(block, encryptBlock(expandedKey, feedback.constData()));
            out += feedback;
            break;
        case Ofb:
            feedback = encryptBlock(expandedKey, feedback.constData());
            out += byteXor(block, feedback);
            break;
        }
    }
    return out;
}

QByteArray QAESEncryption::decrypt(const QByteArray &cipher, const QByteArray &key, const QByteArray &iv)
{
    if (m_mode != Ecb && iv.size() != blockLength)
        return QByteArray();
    const QByteArray expandedKey = keyExpansion(key);
    if (expandedKey.isEmpty())
        return QByteArray();

    const int wholeBlocks = cipher.size() - cipher.size() % blockLength;
    QByteArray out;
    out.reserve(wholeBlocks);
    QByteArray feedback = iv;
    for (int pos = 0; pos < wholeBlocks; pos += blockLength) {
        const QByteArray block(cipher.constData() + pos, blockLength);
        switch (m_mode) {
        case Ecb:
            out += decryptBlock(expandedKey, block.constData());
            break;
        case Cbc:
            out += byteXor(decryptBlock(expandedKey, block.constData()), feedback);
            feedback = block;
            break;
        case Cfb:
            out += byteXor(block, encryptBlock(expandedKey, feedback.constData()));
            feedback = block;
            break;
        case Ofb:
            feedback = encryptBlock(expandedKey, feedback.constData());
            out += byteXor(block, feedback);
            break;
        }
    }
    return out;
}

QByteArray QAESEncryption::stripPadding(const QByteArray &bytes) const
{
    if (bytes.isEmpty())
        return bytes;

    switch (m_padding) {
    case Zero: {
        int end = bytes.size();
        while (end > 0 && bytes.at(end - 1) == '\0')
            --end;
        return bytes.left(end);
    }
    case Pkcs7: {
        // A count larger than the input (corrupt data) removes everything rather than reading past it.
        const int count = qMin(int(quint8(bytes.at(bytes.size() - 1))), bytes.size());
        return bytes.left(bytes.size() - count);
    }
    case Iso: {
        int marker = bytes.size() - 1;
        while (marker >= 0 && bytes.at(marker) == '\0')
            --marker;
        if (marker >= 0 && quint8(bytes.at(marker)) == 0x80)
            return bytes.left(marker);
        return bytes;
    }
    }
    return bytes;
}

QByteArray QAESEncryption::padding(int length) const
{
    int count = (blockLength - length % blockLength) % blockLength;
    switch (m_padding) {
    case Zero:
        return QByteArray(count, '\0');
    case Pkcs7:
        if (count == 0)
            count = blockLength;
        return QByteArray(count, char(count));
    case Iso:
        if (count == 0)
            return QByteArray();
        return char(0x80) + QByteArray(count - 1, '\0');
    }
    return QByteArray();
}

QByteArray QAESEncryption::byteXor(const QByteArray &a, const QByteArray &b)
{
    const int length = qMin(a.size(), b.size());
    QByteArray result(length, '\0');
    for (int i = 0; i < length; ++i)
        result[i] = char(a.at(i) ^ b.at(i));
    return result;
}

QByteArray QAESEncryption::encryptBlock(const QByteArray &expandedKey, const char *block)
{
    QByteArray state(block, blockLength);
    m_state = reinterpret_cast<quint8 *>(state.data());
    cipher(expandedKey);
    m_state = nullptr;
    return state;
}

QByteArray QAESEncryption::decryptBlock(const QByteArray &expandedKey, const char *block)
{
    QByteArray state(block, blockLength);
    m_state = reinterpret_cast<quint8 *>(state.data());
    invCipher(expandedKey);
    m_state = nullptr;
    return state;
}

// The state holds the block column by column: byte r + 4c is row r of column c.

void QAESEncryption::cipher(const QByteArray &expandedKey)
{
    addRoundKey(expandedKey, 0);
    for (int round = 1; round < m_nr; ++round) {
        subBytes();
        shiftRows();
        mixColumns();
        addRoundKey(expandedKey, round);
    }
    subBytes();
    shiftRows();
    addRoundKey(expandedKey, m_nr);
}

void QAESEncryption::invCipher(const QByteArray &expandedKey)
{
    addRoundKey(expandedKey, m_nr);
    for (int round = m_nr - 1; round > 0; --round) {
        invShiftRows();
        invSubBytes();
        addRoundKey(expandedKey, round);
        invMixColumns();
    }
    invShiftRows();
    invSubBytes();
    addRoundKey(expandedKey, 0);
}

void QAESEncryption::addRoundKey(const QByteArray &expandedKey, int round)
{
    const auto *roundKey = reinterpret_cast<const quint8 *>(expandedKey.constData()) + round * blockLength;
    for (int i = 0; i < blockLength; ++i)
        m_state[i] ^= roundKey[i];
}

void QAESEncryption::subBytes()
{
    for (int i = 0; i < blockLength; ++i)
        m_state[i] = m_sbox[m_state[i]];
}

void QAESEncryption::invSubBytes()
{
    for (int i = 0; i < blockLength; ++i)
        m_state[i] = m_invSbox[m_state[i]];
}

void QAESEncryption::shiftRows()
{
    // Row r rotates left by r positions.
    quint8 *s = m_state;
    quint8 t = s[1];
    s[1] = s[5];
    s[5] = s[9];
    s[9] = s[13];
    s[13] = t;
    std::swap(s[2], s[10]);
    std::swap(s[6], s[14]);
    t = s[15];
    s[15] = s[11];
    s[11] = s[7];
    s[7] = s[3];
    s[3] = t;
}

void QAESEncryption::invShiftRows()
{
    quint8 *s = m_state;
    quint8 t = s[13];
    s[13] = s[9];
    s[9] = s[5];
    s[5] = s[1];
    s[1] = t;
    std::swap(s[2], s[10]);
    std::swap(s[6], s[14]);
    t = s[3];
    s[3] = s[7];
    s[7] = s[11];
    s[11] = s[15];
    s[15] = t;
}

void QAESEncryption::mixColumns()
{
    for (int c = 0; c < 4; ++c) {
        quint8 *col = m_state + 4 * c;
        const quint8 a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
        const quint8 all = quint8(a0 ^ a1 ^ a2 ^ a3);
        col[0] = quint8(a0 ^ all ^ xtime(quint8(a0 ^ a1)));
        col[1] = quint8(a1 ^ all ^ xtime(quint8(a1 ^ a2)));
        col[2] = quint8(a2 ^ all ^ xtime(quint8(a2 ^ a3)));
        col[3] = quint8(a3 ^ all ^ xtime(quint8(a3 ^ a0)));
    }
}

void QAESEncryption::invMixColumns()
{
    // The inverse matrix factors into MixColumns after a multiplication by {04}x^2 + {05}, which
    // only needs two doublings per column pair.
    for (int c = 0; c < 4; ++c) {
        quint8 *col = m_state + 4 * c;
        const quint8 u = xtime(xtime(quint8(col[0] ^ col[2])));
        const quint8 v = xtime(xtime(quint8(col[1] ^ col[3])));
        col[0] ^= u;
        col[1] ^= v;
        col[2] ^= u;
        col[3] ^= v;
    }
    mixColumns();
}
