#include "support/filefaults.h"

// Neither fault has a form here: a small disk needs a mount, the immutable attribute is Linux's.
// Both report themselves not set up, so the tests that need them skip.
namespace filefaults {

SmallDisk::SmallDisk(const QStringList &) {}
SmallDisk::~SmallDisk() = default;
bool SmallDisk::fill(int) { return false; }
void SmallDisk::makeRoom() {}
bool SmallDisk::setReadOnly(bool) { return false; }

Immutable::Immutable(const QString &file) : path(file) {}
Immutable::~Immutable() = default;

} // namespace filefaults
