#include "desktop/singleinstance.h"

#include "desktop/localsocketname.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

namespace {
const QString lockFileName = QStringLiteral(".korvane-client.lock");
constexpr int maxRequestBytes = 8192;
constexpr int retryPauseMs = 100;
// An unreadable lock file is left alone this long: a client may be writing it this moment.
constexpr int unreadableGraceMs = 1000;

QByteArray firstLine(const QByteArray &bytes)
{
    const int end = bytes.indexOf('\n');
    return end < 0 ? QByteArray() : bytes.left(end);
}
} // namespace

SingleInstance::SingleInstance(const QString &directory, QObject *parent)
    : QObject(parent), folder(QDir(directory).absolutePath())
{
    lock = std::make_unique<QLockFile>(lockFilePath());
    // The lock lives as long as the client: only a dead owner makes it stale, never its age.
    lock->setStaleLockTime(0);
}

SingleInstance::~SingleInstance()
{
    if (server)
        server->close();
}

QString SingleInstance::lockFilePath() const
{
    return folder + QLatin1Char('/') + lockFileName;
}

QString SingleInstance::serverName(const QString &directory)
{
    return LocalSocketName::forFolder(directory);
}

SingleInstance::Claim SingleInstance::claim(const QByteArray &request, int waitMs)
{
    QElapsedTimer waited;
    waited.start();
    QElapsedTimer unreadableFor;
    while (true) {
        // Qt takes over a lock whose process is gone by itself.
        if (lock->tryLock(0)) {
            listen();
            return Claim::Owner;
        }
        if (lock->error() != QLockFile::LockFailedError)
            return Claim::Unwritable;
        if (ask(folder, request, waitMs).has_value())
            return Claim::HandedOver;

        qint64 pid = 0;
        QString host;
        QString application;
        if (lock->getLockInfo(&pid, &host, &application)) {
            unreadableFor.invalidate();
        } else if (!unreadableFor.isValid()) {
            unreadableFor.start();
        } else if (unreadableFor.elapsed() >= unreadableGraceMs) {
            // Left half-written by a crash: nobody holds it (removal fails while someone does).
            if (lock->removeStaleLockFile())
                qWarning().noquote() << QStringLiteral("已移除无法读取的锁文件：") + lockFilePath();
            unreadableFor.invalidate();
            continue;
        }
        if (waited.elapsed() >= waitMs)
            return Claim::NoAnswer;
        QThread::msleep(retryPauseMs);
    }
}

std::optional<QByteArray> SingleInstance::ask(const QString &directory, const QByteArray &request, int timeoutMs)
{
    QLocalSocket socket;
    bool connected = false;
    {
        const LocalSocketName::Reach reach(directory);
        socket.connectToServer(reach.name());
        connected = socket.waitForConnected(qMin(timeoutMs, 1000));
    }
    if (!connected)
        return std::nullopt;
    if (!LocalSocketName::peerIsThisUser(socket)) {
        qWarning().noquote() << QStringLiteral("本地套接字的另一端不属于当前用户，未发送请求：") +
                                    serverName(directory);
        return std::nullopt;
    }
    socket.write(request + '\n');
    socket.waitForBytesWritten(1000);
    QByteArray received;
    QElapsedTimer timer;
    timer.start();
    while (!received.contains('\n') && timer.elapsed() < timeoutMs) {
        if (!socket.waitForReadyRead(int(qMax<qint64>(1, timeoutMs - timer.elapsed()))))
            break;
        received += socket.readAll();
    }
    return firstLine(received);
}

void SingleInstance::setRequestHandler(std::function<QByteArray(const QByteArray &)> requestHandler)
{
    handler = std::move(requestHandler);
}

void SingleInstance::listen()
{
    // We hold the lock: a socket of that name is a leftover of a client of ours that died.
    LocalSocketName::removeLeftover(folder);
    reach = std::make_unique<LocalSocketName::Reach>(folder);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(reach->name())) {
        qWarning().noquote() << QStringLiteral("无法监听本地套接字，第二次启动将无法切换到本窗口：") +
                                    server->errorString();
        return;
    }
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server->nextPendingConnection()) {
            if (LocalSocketName::peerIsThisUser(*socket)) {
                serve(socket);
                continue;
            }
            qWarning().noquote() << QStringLiteral("拒绝了其他用户对本地套接字的连接");
            socket->abort();
            socket->deleteLater();
        }
    });
}

void SingleInstance::serve(QLocalSocket *socket)
{
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
        if (socket->property("answered").toBool())
            return;
        if (!socket->canReadLine()) {
            if (socket->bytesAvailable() > maxRequestBytes)
                socket->abort();
            return;
        }
        socket->setProperty("answered", true);
        const QByteArray request = socket->readLine(maxRequestBytes).trimmed();
        const QByteArray reply = handler ? handler(request) : QByteArrayLiteral("error no handler");
        socket->write(reply + '\n');
        socket->flush();
        socket->disconnectFromServer();
    });
}
