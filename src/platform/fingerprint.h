#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// One hardware query's output as it enters the fingerprint: decoded with the local 8-bit code
// page, every occurrence of the column header removed (any letter case), every "\r" and "\n"
// removed, white space collapsed.
QString normaliseCommandOutput(const QByteArray &output, const QString &headerWord);

// The host fingerprint: lowercase MD5 hex of the UTF-8 concatenation of the eight normalised
// hardware texts (cpu name, cores, logical processors, processor id, board serial, bios serial,
// product uuid (on Linux the machine id), disk serial(s)). Missing texts count as empty.
QString hostFingerprint(const QStringList &eightRawTexts);

// The fingerprint of this machine, from the installed host layer.
QString hostFingerprint();
