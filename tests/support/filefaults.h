#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// File-system faults under the client's files. Each needs root (a mount, the immutable attribute)
// and says whether it could be set up, so that a test can skip otherwise; each is undone when the
// object goes.
namespace filefaults {

// A tmpfs of a few pages on a fresh directory, entered as the working directory with copies of
// the named files of the previous one. The previous working directory comes back, and the mount
// goes, on destruction.
class SmallDisk {
public:
    explicit SmallDisk(const QStringList &carried = {});
    ~SmallDisk();
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    bool isReady() const { return mounted && entered; }
    // Leaves `freePages` free pages (4 KiB); makeRoom() removes the filler again.
    bool fill(int freePages = 0);
    void makeRoom();
    bool setReadOnly(bool on);

private:
    QTemporaryDir directory;
    QString previousPath;
    bool mounted = false;
    bool entered = false;
};

// The immutable attribute (chattr +i) on a file or directory while the object lives.
class Immutable {
public:
    explicit Immutable(const QString &path);
    ~Immutable();
    Immutable(const Immutable &) = delete;
    Immutable &operator=(const Immutable &) = delete;

    bool isSet() const { return set; }

private:
    QString path;
    bool set = false;
};

} // namespace filefaults
