#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// Takes every secret the client keeps out of a text before it leaves the machine: the passwords
// of login.ini and TAPBOUND.ini (deciphered), the credentials file's password, secrets the caller
// holds in memory (session token, passwords), and any value of a token or password query key.
class SecretScrubber {
public:
    inline static const QByteArray mask = QByteArrayLiteral("********");

    // Learns the secrets stored in the client's files in directory.
    void learnStoredSecrets(const QString &directory);
    void addSecret(const QByteArray &secret);

    QByteArray scrub(QByteArray text) const;
    int secretCount() const { return secrets.size(); }

private:
    QByteArrayList secrets;
};
