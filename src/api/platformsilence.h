#pragma once

#include <QString>

// The minute ticks' memory of a platform that does not answer. A tick stops at its first failed
// exchange (the rest would fail the same way, each after its own wait); the day log says so once,
// with libcurl's reason, and once more when the platform answers again.
class PlatformSilence {
public:
    // Notes how one exchange of a tick ended; true when it was answered and the tick goes on.
    bool answered(bool answered, const QString &failure);

    bool isSilent() const { return silent; }

private:
    bool silent = false;
};
