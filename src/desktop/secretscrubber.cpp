#include "desktop/secretscrubber.h"

#include "crypto/credentialcipher.h"
#include "store/accountstore.h"
#include "store/tapbindingstore.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>

namespace {
// Shorter texts would mask ordinary words and numbers all over the logs.
constexpr int shortestSecret = 4;
} // namespace

void SecretScrubber::addSecret(const QByteArray &secret)
{
    const QByteArray trimmed = secret.trimmed();
    if (trimmed.size() < shortestSecret || secrets.contains(trimmed))
        return;
    secrets << trimmed;
    // Logged query strings carry them percent-encoded.
    const QByteArray encoded = trimmed.toPercentEncoding();
    if (encoded != trimmed && !secrets.contains(encoded))
        secrets << encoded;
    // Longest first, so that a secret containing another one is masked whole.
    std::sort(secrets.begin(), secrets.end(),
              [](const QByteArray &a, const QByteArray &b) { return a.size() > b.size(); });
}

void SecretScrubber::learnStoredSecrets(const QString &directory)
{
    const QDir dir(directory);
    const QByteArray key = CredentialCipher::keyBytes();
    for (const QByteArray &cipher : AccountStore::load(dir.filePath(QStringLiteral("login.ini"))).passwords)
        addSecret(CredentialCipher::decipher(cipher, key));
    for (const QByteArray &cipher : TapBindingStore::load(dir.filePath(QStringLiteral("TAPBOUND.ini"))).tapPasswords)
        addSecret(CredentialCipher::decipher(cipher, key));
    // Serial and password, one a line, between a launch and the connected state.
    QFile credentials(dir.filePath(QStringLiteral("vpnconfig.ini")));
    if (credentials.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = credentials.read(4096).split('\n');
        for (int i = 1; i < lines.size(); ++i)
            addSecret(lines.at(i));
    }
}

QByteArray SecretScrubber::scrub(QByteArray text) const
{
    for (const QByteArray &secret : secrets)
        text.replace(secret, mask);
    // Values of the keys that carry secrets in the platform's queries and replies.
    static const QRegularExpression queryValue(QStringLiteral("((?:token|password|passWord|pswd|tappswd)=)[^&\\s\"']+"),
                                               QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression jsonValue(QStringLiteral("(\"(?:token|password|passWord)\"\\s*:\\s*\")[^\"]*"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QByteArray lower = text.toLower();
    if (!lower.contains("token") && !lower.contains("password") && !lower.contains("pswd"))
        return text;
    QString asText = QString::fromUtf8(text);
    const QString maskText = QString::fromLatin1(mask);
    asText.replace(queryValue, QStringLiteral("\\1") + maskText);
    asText.replace(jsonValue, QStringLiteral("\\1") + maskText);
    return asText.toUtf8();
}
