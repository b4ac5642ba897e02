#pragma once

#include <QString>
#include <QTemporaryDir>

// A fresh temporary directory that is the process's working directory while this object lives;
// the client keeps its files (login.ini, TAPBOUND.ini, ...) there. The previous directory is
// restored and the temporary one removed on destruction.
class ScopedWorkDir {
public:
    ScopedWorkDir();
    ~ScopedWorkDir();
    ScopedWorkDir(const ScopedWorkDir &) = delete;
    ScopedWorkDir &operator=(const ScopedWorkDir &) = delete;

    bool isValid() const { return entered; }
    QString path() const { return directory.path(); }
    QString filePath(const QString &name) const { return directory.filePath(name); }

private:
    QString previousPath;
    QTemporaryDir directory;
    bool entered = false;
};
