#include "support/workdir.h"

#include <QDir>

ScopedWorkDir::ScopedWorkDir()
    : previousPath(QDir::currentPath())
{
    entered = directory.isValid() && QDir::setCurrent(directory.path());
}

ScopedWorkDir::~ScopedWorkDir()
{
    // Leave the directory before it is removed.
    QDir::setCurrent(previousPath);
}
