#pragma once

#include <QtGlobal>
#include <optional>

// Advances the TAP traffic meter by one reading of the interface's sent-bytes counter and logs
// the three values. The first nonzero reading only sets the baseline (`previous`); each later one
// gives `delta` = reading - `previous`, or the reading itself when the counter went backwards
// (wrapped or reset). A zero reading changes nothing; a missing one keeps `current`, which then
// equals `previous`, so the delta is 0.
void updateTrafficMeter(qint64 &current, qint64 &previous, qint64 &delta, std::optional<quint64> reading);

// The same with the reading taken from the installed host layer.
void updateTrafficMeter(qint64 &current, qint64 &previous, qint64 &delta);
