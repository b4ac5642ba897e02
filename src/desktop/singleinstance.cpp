#include "desktop/singleinstance.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QThread>

#include <unistd.h>

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
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    const QByteArray digest =
        QCryptographicHash::hash((canonical.isEmpty() ? directory : canonical).toUtf8(), QCryptographicHash::Sha256)
            .toHex()
            .left(24);
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QFileInfo(base).isDir())
        base = QDir::tempPath();
    return QStringLiteral("%1/korvane-%2-%3").arg(base).arg(::getuid()).arg(QString::fromLatin1(digest));
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
    socket.connectToServer(serverName(directory));
    if (!socket.waitForConnected(qMin(timeoutMs, 1000)))
        return std::nullopt;
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
    const QString name = serverName(folder);
    server = new QLocalServer(this);
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // We hold the lock: a socket of that name is a leftover of a client that died.
    QLocalServer::removeServer(name);
    if (!server->listen(name)) {
        qWarning().noquote() << QStringLiteral("无法监听本地套接字，第二次启动将无法切换到本窗口：") +
                                    server->errorString();
        return;
    }
    connect(server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server->nextPendingConnection())
            serve(socket);
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
