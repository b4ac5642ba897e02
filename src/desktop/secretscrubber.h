#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// Takes every secret the client keeps out of a text before it leaves the machine: the passwords
// of login.ini and TAPBOUND.ini (deciphered, and their cipher texts), the credentials file's
// password, secrets the caller holds in memory (session token, passwords), in every form the
// client, libcurl and OpenVPN write them (percent-encoded in either letter case, '+' for a blank,
// JSON escapes, base64, cut by a line wrap); and whatever stands under a key that carries secrets
// (token, password, pwd, ... in queries, INI lines and JSON), in an Authorization header, in a
// URL's user part, in OpenVPN's inline credential and key blocks and in PEM private keys.
//
// Texts are taken as bytes: zero bytes and broken UTF-8 come out as they went in.
class SecretScrubber {
public:
    inline static const QByteArray mask = QByteArrayLiteral("********");

    // Learns the secrets stored in the client's files in directory.
    void learnStoredSecrets(const QString &directory);
    void addSecret(const QByteArray &secret);
    // A stored cipher text: masked raw, in hex (either case) and in base64.
    void addCipherText(const QByteArray &cipher);

    QByteArray scrub(const QByteArray &text) const;
    int secretCount() const { return plainSecrets.size(); }

private:
    void addPattern(const QString &pattern, int weight);
    void compile() const;

    QByteArrayList plainSecrets;                   // as given, for the search inside base64
    QList<QPair<int, QString>> patterns;           // weight (longest first), pattern
    mutable QList<QRegularExpression> secretForms; // compiled from patterns at the next scrub
    mutable bool compiled = true;
};
