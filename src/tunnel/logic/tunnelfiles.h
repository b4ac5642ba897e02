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

// Replaces the file by one with this content, readable and writable by its owner only (also when
// the old one had wider rights). False when any step failed; the old file is then untouched.
bool writeOwnerOnly(const QString &path, const QByteArray &content);

} // namespace TunnelFiles
