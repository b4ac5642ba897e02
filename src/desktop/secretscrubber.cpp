#include "desktop/secretscrubber.h"

#include "crypto/credentialcipher.h"
#include "store/accountstore.h"
#include "store/tapbindingstore.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <optional>

// Texts are handled as Latin-1 strings: one character per byte, so the regular expressions see
// every byte (zeros included) and give back exactly the bytes they did not mask.
namespace {
// Shorter secrets are masked only where they stand alone: inside words and numbers they would
// mask half the log.
constexpr int shortestFreeSecret = 4;
// Base64 runs shorter than this cannot hold a secret of shortestFreeSecret bytes.
constexpr int shortestBase64Run = 6;
// Well within what PCRE2 compiles into one expression.
constexpr int maxPatternLength = 8000;
constexpr int longestEncodedSecret = 512;

QString latin1(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.constData(), bytes.size());
}

// One byte as it stands in a pattern.
QString literal(uchar byte)
{
    if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9'))
        return QString(QLatin1Char(char(byte)));
    return QStringLiteral("\\x{%1}").arg(uint(byte), 2, 16, QLatin1Char('0'));
}

QString literal(const QByteArray &bytes)
{
    QString pattern;
    for (const char byte : bytes)
        pattern += literal(uchar(byte));
    return pattern;
}

// Hex digits in either letter case.
QString hexAnyCase(uint value, int digits)
{
    QString pattern;
    for (const QChar digit : QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')))
        pattern += digit.isLetter() ? QStringLiteral("[%1%2]").arg(digit, digit.toUpper()) : QString(digit);
    return pattern;
}

QString jsonEscape(uint codePoint)
{
    const QString backslashU = literal(uchar('\\')) + QLatin1Char('u');
    if (codePoint <= 0xFFFF)
        return backslashU + hexAnyCase(codePoint, 4);
    const uint offset = codePoint - 0x10000;
    return backslashU + hexAnyCase(0xD800 + (offset >> 10), 4) + backslashU + hexAnyCase(0xDC00 + (offset & 0x3FF), 4);
}

// Every way one character of a secret is written: as it is, percent-encoded (either case), as a
// JSON escape, '+' for a blank (forms), a backslash before the characters JSON may escape.
QString characterForms(const QByteArray &bytes, std::optional<uint> codePoint)
{
    QStringList forms{literal(bytes)};
    QString percent;
    for (const char byte : bytes)
        percent += literal(uchar('%')) + hexAnyCase(uchar(byte), 2);
    forms << percent;
    if (codePoint) {
        forms << jsonEscape(*codePoint);
        if (*codePoint == ' ')
            forms << literal(uchar('+'));
        if (*codePoint == '"' || *codePoint == '\\' || *codePoint == '/')
            forms << literal(uchar('\\')) + literal(uchar(*codePoint));
    }
    return QStringLiteral("(?:") + forms.join(QLatin1Char('|')) + QLatin1Char(')');
}

// Between two characters a log may have wrapped the line.
const QString lineWrap = QStringLiteral("(?:\\r?\\n[ \\t]*)?");

QString secretPattern(const QByteArray &secret)
{
    // Every form of every character would make an expression too large to compile.
    if (secret.size() > longestEncodedSecret)
        return QStringLiteral("(?:%1|%2)").arg(literal(secret), literal(secret.toPercentEncoding()));
    QStringList units;
    const QString text = QString::fromUtf8(secret.constData(), secret.size());
    if (text.toUtf8() == secret) {
        for (const uint codePoint : text.toUcs4())
            units << characterForms(QString::fromUcs4(&codePoint, 1).toUtf8(), codePoint);
    } else {
        for (const char byte : secret)
            units << characterForms(QByteArray(1, byte), std::nullopt);
    }
    if (secret.size() >= shortestFreeSecret)
        return units.join(lineWrap);
    return QStringLiteral("(?<![A-Za-z0-9])") + units.join(QString()) + QStringLiteral("(?![A-Za-z0-9])");
}

// Hex digits in either case, possibly wrapped.
QString hexPattern(const QByteArray &bytes)
{
    QStringList units;
    for (const char byte : bytes)
        units << hexAnyCase(uchar(byte), 2);
    return units.join(lineWrap);
}

struct Rule {
    QRegularExpression expression;
    QString replacement;
};

const QList<Rule> &keyedRules()
{
    const auto rule = [](const char *pattern, const char *replacement) {
        return Rule{QRegularExpression(QString::fromLatin1(pattern), QRegularExpression::CaseInsensitiveOption),
                    QString::fromLatin1(replacement)};
    };
    // Keys that carry secrets in the platform's queries and replies, INI lines and libcurl's output.
#define KEYS "(?:token|password|passwd|pswd|pwd|tappswd)"
#define JSON_TEXT "(?:[^\"\\\\\\r\\n]|\\\\.)*"
    // A key's text around the word, bounded: a long line of JSON is gone through once.
#define KEY_TEXT "[^\"\\\\\\r\\n]{0,40}"
    static const QList<Rule> rules{
        rule("(" KEYS "\\s*(?:=|%3d)\\s*)[^&\\s\"']+", "\\1********"),
        rule("(\"" KEY_TEXT KEYS KEY_TEXT "\"\\s*:\\s*\")" JSON_TEXT, "\\1********"),
        rule("(\"" KEY_TEXT KEYS KEY_TEXT "\"\\s*:\\s*)(?![\"\\s])[^,}\\]\\s]+", "\\1********"),
        rule("((?:proxy-)?authorization\\s*:\\s*(?:(?:basic|bearer|digest|negotiate|ntlm)\\s+)?)[^\\s\"']+",
             "\\1********"),
        rule("(\\b[a-z][a-z0-9+.-]*://[^/\\s:@\"']*:)[^@\\s/\"']+(?=@)", "\\1********"),
        // OpenVPN's inline blocks that hold credentials or keys, in a profile or its log.
        rule("(<(auth-user-pass|key|secret|tls-auth|tls-crypt|tls-crypt-v2|pkcs12|http-proxy-user-pass)>)"
             "[\\s\\S]*?(</\\2>|\\z)",
             "\\1\n********\n\\3"),
        rule("(-----BEGIN [a-z0-9 ]*(?:private key|static key)[a-z0-9 ]*-----)[\\s\\S]*?(-----END|\\z)",
             "\\1\n********\n\\2"),
    };
#undef KEYS
#undef JSON_TEXT
#undef KEY_TEXT
    return rules;
}
} // namespace

void SecretScrubber::addPattern(const QString &pattern, int weight)
{
    const QPair<int, QString> entry{weight, pattern};
    if (!patterns.contains(entry))
        patterns << entry;
    compiled = false;
}

void SecretScrubber::compile() const
{
    if (compiled)
        return;
    compiled = true;
    // Longest first, so that a secret containing another one is masked whole.
    QList<QPair<int, QString>> sorted = patterns;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const QPair<int, QString> &a, const QPair<int, QString> &b) { return a.first > b.first; });
    // A few alternatives to an expression: one pass over the text for many secrets, and no
    // expression beyond what the regular-expression engine compiles.
    secretForms.clear();
    QStringList alternatives;
    int length = 0;
    const auto flush = [&] {
        if (alternatives.isEmpty())
            return;
        secretForms << QRegularExpression(QStringLiteral("(?:") + alternatives.join(QLatin1Char('|')) +
                                          QLatin1Char(')'));
        secretForms.last().optimize();
        alternatives.clear();
        length = 0;
    };
    for (const auto &entry : sorted) {
        if (length + entry.second.size() > maxPatternLength)
            flush();
        alternatives << entry.second;
        length += entry.second.size();
    }
    flush();
}

void SecretScrubber::addSecret(const QByteArray &secret)
{
    const QByteArray trimmed = secret.trimmed();
    if (trimmed.isEmpty() || plainSecrets.contains(trimmed))
        return;
    plainSecrets << trimmed;
    addPattern(secretPattern(trimmed), trimmed.size());
}

void SecretScrubber::addCipherText(const QByteArray &cipher)
{
    if (cipher.isEmpty())
        return;
    addPattern(literal(cipher), cipher.size());
    addPattern(hexPattern(cipher), 2 * cipher.size());
    QStringList base64Units;
    for (const char byte : cipher.toBase64())
        base64Units << literal(uchar(byte));
    addPattern(base64Units.join(lineWrap), base64Units.size());
}

void SecretScrubber::learnStoredSecrets(const QString &directory)
{
    const QDir dir(directory);
    const QByteArray key = CredentialCipher::keyBytes();
    const auto learn = [&](const QByteArrayList &ciphers) {
        for (const QByteArray &cipher : ciphers) {
            addSecret(CredentialCipher::decipher(cipher, key));
            addCipherText(cipher);
        }
    };
    learn(AccountStore::load(dir.filePath(QStringLiteral("login.ini"))).passwords);
    learn(TapBindingStore::load(dir.filePath(QStringLiteral("TAPBOUND.ini"))).tapPasswords);
    // Serial and password, one a line, between a launch and the connected state.
    QFile credentials(dir.filePath(QStringLiteral("vpnconfig.ini")));
    if (credentials.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = credentials.read(4096).split('\n');
        for (int i = 1; i < lines.size(); ++i)
            addSecret(lines.at(i));
    }
}

QByteArray SecretScrubber::scrub(const QByteArray &bytes) const
{
    QString text = latin1(bytes);
    // A base64 run (HTTP Basic, a token, a logged blob) that decodes to something holding a secret.
    static const QRegularExpression base64Run(QStringLiteral("[A-Za-z0-9+/_-]{%1,}={0,2}").arg(shortestBase64Run));
    QByteArrayList searched;
    for (const QByteArray &secret : plainSecrets) {
        if (secret.size() >= shortestFreeSecret)
            searched << secret;
    }
    if (!searched.isEmpty()) {
        QString masked;
        int copied = 0;
        QRegularExpressionMatchIterator runs = base64Run.globalMatch(text);
        while (runs.hasNext()) {
            const QRegularExpressionMatch run = runs.next();
            const QByteArray encoded = run.captured().toLatin1();
            const bool urlSafe = encoded.contains('-') || encoded.contains('_');
            const QByteArray decoded =
                QByteArray::fromBase64(encoded, urlSafe ? QByteArray::Base64UrlEncoding : QByteArray::Base64Encoding);
            if (std::none_of(searched.cbegin(), searched.cend(),
                             [&](const QByteArray &secret) { return decoded.contains(secret); }))
                continue;
            masked += text.midRef(copied, run.capturedStart() - copied) + latin1(mask);
            copied = run.capturedEnd();
        }
        if (copied > 0)
            text = masked + text.midRef(copied);
    }
    compile();
    for (const QRegularExpression &forms : secretForms)
        text.replace(forms, latin1(mask));
    for (const Rule &rule : keyedRules())
        text.replace(rule.expression, rule.replacement);
    return text.toLatin1();
}
