#include "desktop/localsocketname.h"

#include "platform/useracl_windows.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

namespace {

// The user a process runs as is this process's user.
bool runsAsThisUser(DWORD processId)
{
    if (processId == GetCurrentProcessId())
        return true;
    const std::unique_ptr<unsigned char[]> user = UserAcl::currentUserSid();
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!user || !process)
        return false;
    bool same = false;
    HANDLE token = nullptr;
    if (OpenProcessToken(process, TOKEN_QUERY, &token)) {
        DWORD size = 0;
        GetTokenInformation(token, TokenUser, nullptr, 0, &size);
        std::unique_ptr<unsigned char[]> buffer(size ? new unsigned char[size] : nullptr);
        if (buffer && GetTokenInformation(token, TokenUser, buffer.get(), size, &size))
            same = EqualSid(reinterpret_cast<TOKEN_USER *>(buffer.get())->User.Sid, user.get());
        CloseHandle(token);
    }
    CloseHandle(process);
    return same;
}

} // namespace

// Pipe names are one namespace for the whole PC: the name is the folder's, the pipe is made for
// this user only (QLocalServer::UserAccessOption), and each end checks the other's user.
QString LocalSocketName::forFolder(const QString &directory)
{
    const QString folder = QDir::toNativeSeparators(QDir(directory).absolutePath()).toLower();
    return QStringLiteral("korvane-client-") +
           QString::fromLatin1(QCryptographicHash::hash(folder.toUtf8(), QCryptographicHash::Sha256).toHex().left(32));
}

LocalSocketName::Reach::Reach(const QString &directory) : reachable(forFolder(directory)) {}

LocalSocketName::Reach::~Reach() = default;

void LocalSocketName::removeLeftover(const QString &) {}

bool LocalSocketName::peerIsThisUser(const QLocalSocket &socket)
{
    const auto pipe = reinterpret_cast<HANDLE>(socket.socketDescriptor());
    ULONG client = 0;
    ULONG server = 0;
    if (!GetNamedPipeClientProcessId(pipe, &client) || !GetNamedPipeServerProcessId(pipe, &server))
        return false;
    return runsAsThisUser(client == GetCurrentProcessId() ? server : client);
}
