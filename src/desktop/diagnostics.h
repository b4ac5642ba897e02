#pragma once

#include "desktop/tararchive.h"

#include <QByteArrayList>
#include <QDateTime>
#include <QString>

// What a support engineer gets: the day logs kept, the tunnel program's log, the profiles,
// versions, the adapters as the host layer sees them, the platform URL, the tunnel's state and the
// time zone. Never the credentials file, login.ini, TAPBOUND.ini, a token or a password: every
// text goes through the secret scrubber, and those files are not read into it at all.
struct DiagnosticsRequest {
    QString directory;      // the client's working directory
    QString tunnelState;    // the running client's tunnel members, "name: value" lines; empty: not running
    QByteArrayList secrets; // secrets the running client holds in memory
    QString tapSerial;      // the running client's TAP, whose profile goes in; empty: from the files
};

// The bundle; every file lies under "korvane-diagnostics-<yyyyMMdd-hhmmss>/".
TarArchive diagnosticsBundle(const DiagnosticsRequest &request, const QDateTime &now);

// Builds the bundle and writes it (owner-only) to archivePath. Empty on success, else the reason.
QString writeDiagnosticsBundle(const QString &archivePath, const DiagnosticsRequest &request);
