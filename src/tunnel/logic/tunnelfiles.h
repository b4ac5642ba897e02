#pragma once

#include "api/platformreply.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The three files the tunnel program reads from the client's working directory: the profile
// named after the TAP serial, the CA file and the credentials file.
namespace TunnelFiles {

inline const QString caFile = QStringLiteral("./ca.crt");
inline const QString credentialsFile = QStringLiteral("./vpnconfig.ini");
// The directory of the profile's log-append line.
inline const QString logDirectory = QStringLiteral("logs");

QString profilePath(const QString &tapSerial); // "./" + serial + ".ovpn"

// Tunnel parameters of getConfigParam, ready for the profile.
struct Parameters {
    QByteArray protocol; // requestWay; exactly "TCP" becomes "tcp", anything else unchanged
    QByteArray address;  // ip, unchanged
    int port = 0;
};

// Reads "data"."port", "ip" and "requestWay". nullopt when one is missing or of the wrong type,
// and when ip or requestWay holds a blank or a control character: they go into the profile as
// they are, and a line break would let a reply add directives of its own to it.
std::optional<Parameters> readParameters(const cJSON *root);

QByteArray profileText(const Parameters &parameters);
QByteArray credentialsText(const QByteArray &tapSerial, const QByteArray &tapPassword);
// The single character that replaces the credentials once the tunnel is connected.
inline const QByteArray connectedCredentials = QByteArrayLiteral("1");
// What a formatted "%s" write of the body stores: everything up to its first zero byte.
QByteArray caText(const QByteArray &downloadBody);

// A TAP serial the client may use as a file name and on a command line: not empty, no path
// separator, not "." and no "..", no control character, not starting with "-".
bool isPlainFileName(const QString &tapSerial);

// The client's note of its running tunnel, kept so that the next start after a crash finds the
// tunnel program it left: the interpreter's process id and the launch's management password file,
// one per line. Removed when the interpreter ends.
inline const QString pidFile = QStringLiteral("./tunnel.pid");
struct PidRecord {
    QString processId;
    QString passwordFile;
};
QByteArray pidFileText(const PidRecord &record);
// Empty fields when the file is missing or holds no such record.
PidRecord readPidFile();

// A temporary sibling that replacing one of the client's files leaves when the client dies between
// writing and renaming: the file name of login.ini, TAPBOUND.ini, ca.crt, vpnconfig.ini, a profile
// or the pid file, then "." and six letters or digits.
bool isStaleTemporary(const QString &fileName);

// Replaces the file by one with this content, readable and writable by its owner only (also when
// the old one had wider rights). False when any step failed; the old file is then untouched.
bool writeOwnerOnly(const QString &path, const QByteArray &content);

} // namespace TunnelFiles
