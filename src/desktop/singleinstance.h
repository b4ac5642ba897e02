#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;
class QLockFile;
namespace LocalSocketName {
class Reach;
}

// One client per data folder. The folder holds a lock file; the client that holds it listens on a
// local socket in the folder itself (no shared place where another user could take the name), and
// a later start hands its request over that socket ("raise": bring your window to the front)
// instead of running a second client on the same files. Both ends talk only to a peer of the
// same user.
class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Claim {
        Owner,      // this process holds the folder and answers later starts
        HandedOver, // a running client took the request
        Unwritable, // no lock file can be made in the folder
        NoAnswer,   // the folder is held by a live client that does not answer
    };

    // The absolute path of the folder (the working directory of the client).
    explicit SingleInstance(const QString &directory, QObject *parent = nullptr);
    ~SingleInstance() override;

    // Takes the folder, or hands `request` to the client that holds it. A lock left by a client
    // that died is taken over, and so is one that cannot be read once nobody answers for it.
    Claim claim(const QByteArray &request = QByteArrayLiteral("raise"), int waitMs = 3000);

    // Sends one request line to the client holding the folder and waits up to timeoutMs for its
    // reply line. nullopt: nobody listens. An empty reply: it took the request but did not answer
    // in time (it may be inside a long call).
    static std::optional<QByteArray> ask(const QString &directory, const QByteArray &request, int timeoutMs);

    // How the owner answers: the reply line for a request line (without line ends).
    void setRequestHandler(std::function<QByteArray(const QByteArray &request)> handler);

    QString directory() const { return folder; }
    QString lockFilePath() const;
    // The local socket of a folder: in the folder (on Windows a pipe named after it).
    static QString serverName(const QString &directory);

private:
    void listen();
    void serve(QLocalSocket *socket);

    QString folder;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *server = nullptr;
    std::unique_ptr<LocalSocketName::Reach> reach; // held while listening
    std::function<QByteArray(const QByteArray &)> handler;
};
