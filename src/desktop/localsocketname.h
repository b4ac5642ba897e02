#pragma once

#include <QString>

class QLocalSocket;

// The local socket of a folder's client: where it is, how to reach it, who is at its other end.
namespace LocalSocketName {

// Linux: the socket file in the folder itself. Windows: a pipe named after the folder.
QString forFolder(const QString &directory);

// The name to connect to or listen on. A socket path longer than a socket address holds is
// reached through a descriptor of the folder, held as long as this object.
class Reach {
public:
    explicit Reach(const QString &directory);
    ~Reach();
    Reach(const Reach &) = delete;
    Reach &operator=(const Reach &) = delete;
    QString name() const { return reachable; }

private:
    QString reachable;
    int folderDescriptor = -1;
};

// With the folder's lock held: a socket left by a client of this user that died goes.
void removeLeftover(const QString &directory);

// Only a process of this user may talk to the client, and the client may only be this user's.
bool peerIsThisUser(const QLocalSocket &socket);

} // namespace LocalSocketName
