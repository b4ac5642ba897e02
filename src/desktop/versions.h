#pragma once

#include <QString>
#include <QStringList>

// The client's version (the project's) and those of the pieces it runs on.
QString clientVersion();

// "name: version" lines: client, Qt, libcurl, its TLS library, Qt's OpenSSL, OpenVPN.
QStringList componentVersions();

// The first line of `openvpn --version`, or why there is none.
QString openVpnVersion();
