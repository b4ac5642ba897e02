#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

// The INI text QSettings writes for byte-array lists, read and written without QSettings. Reading
// is a check as much as a parse: it accepts only lines QSettings reads the same way, and only
// values QSettings can turn into variants safely (its stream operator trusts the element counts it
// finds and reserves memory for them), so that a file that passes may be handed to QSettings.
namespace IniText {

struct Parsed {
    bool ok = false;
    // Every key as QSettings names it ("config/username"): its byte-array list, or nullopt for a
    // value of another type.
    QMap<QString, std::optional<QByteArrayList>> values;
};

// Line ends are "\n", "\r\n" or a lone "\r", as for QSettings. Comments (";" or "#"), unknown
// sections and keys, and plain values of other types are accepted; a line QSettings would read
// differently (a key ending in a backslash, a line continued by one, a key without "="), an escape
// its writer never makes, a variant that is not a well-formed byte-array list, and a key given
// twice are not.
Parsed parse(const QByteArray &text);

// The complete file QSettings writes for the lists under `group`, keys in its (sorted) order.
QByteArray render(const QString &group, const QStringList &keys, const QList<QByteArrayList> &lists);

} // namespace IniText
