#pragma once

#include <QByteArray>
#include <QString>

// The password of one launch's management interface: fresh random text in a file only its owner
// can read, named on the tunnel program's command line. Without it any local user could connect
// to the port first and watch or control the tunnel.
class ManagementPassword {
public:
    ManagementPassword();
    ~ManagementPassword();
    ManagementPassword(const ManagementPassword &) = delete;
    ManagementPassword &operator=(const ManagementPassword &) = delete;

    // A new password in a new file; the previous file is removed. False when no file could be made.
    bool renew();
    // Removes the file (the tunnel program reads it once, at its start).
    void discard();

    QString filePath() const;

    // Removes a password file an earlier run of the client left, if the path names one (a file
    // of this class in the temporary directory, nothing else).
    static void removeLeftover(const QString &path);
    QByteArray password() const { return secret; }

private:
    QString path;
    QByteArray secret;
};
