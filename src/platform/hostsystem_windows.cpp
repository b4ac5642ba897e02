// Before anything that includes windows.h: the socket types for iphlpapi.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/hostsystem_windows.h"

#include "platform/processtree_windows.h"
#include "platform/useracl_windows.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

#include <iphlpapi.h>

#include <cstdio>
#include <map>
#include <mutex>

namespace {

// wmic takes a while to start on a busy PC, but a hung one must not freeze the client.
constexpr int wmicTimeoutMs = 10000;
constexpr int wmicTotalTimeoutMs = 30000;
// taskkill itself, and how long the tree may take to end after the polite and the forced kill.
constexpr int taskkillTimeoutMs = 10000;
constexpr DWORD killWaitTimeoutMs = 3000;

constexpr DWORD ifTypeEthernet = 6;        // MIB_IF_TYPE_ETHERNET
constexpr DWORD adminStatusUp = 1;         // MIB_IF_ADMIN_STATUS_UP
constexpr DWORD operStatusOperational = 5; // IF_OPER_STATUS_OPERATIONAL

std::optional<DWORD> parseProcessId(const QString &text)
{
    const std::optional<quint64> id = parseProcessIdText(text, 0xFFFFFFFFull);
    return id ? std::optional<DWORD>(DWORD(*id)) : std::nullopt;
}

// ---- interpreters this layer started ------------------------------------------------------------

// A handle to each interpreter, opened while it was a running child of this process. Holding it
// keeps its id from going to another process; an entry whose process ended is dropped (and its id
// may then be anyone's).
std::mutex startedMutex;
std::map<DWORD, std::unique_ptr<ProcessTree::Handle>> startedInterpreters;

HANDLE ownedInterpreter(DWORD id)
{
    std::lock_guard<std::mutex> lock(startedMutex);
    const auto entry = startedInterpreters.find(id);
    if (entry == startedInterpreters.end())
        return nullptr;
    if (ProcessTree::isRunning(entry->second->value))
        return entry->second->value;
    startedInterpreters.erase(entry);
    return nullptr;
}

void rememberInterpreter(DWORD id)
{
    std::unique_ptr<ProcessTree::Handle> handle = ProcessTree::open(id);
    std::lock_guard<std::mutex> lock(startedMutex);
    for (auto entry = startedInterpreters.begin(); entry != startedInterpreters.end();) {
        if (ProcessTree::isRunning(entry->second->value))
            ++entry;
        else
            entry = startedInterpreters.erase(entry);
    }
    if (handle)
        startedInterpreters[id] = std::move(handle);
}

void runTaskkill(DWORD id, bool force)
{
    QStringList arguments{QStringLiteral("-PID"), QString::number(id)};
    if (force)
        arguments << QStringLiteral("-F");
    arguments << QStringLiteral("-T");
    QProcess taskkill;
    taskkill.setStandardInputFile(QProcess::nullDevice());
    taskkill.setProcessChannelMode(QProcess::MergedChannels);
    taskkill.start(systemProgram(QStringLiteral("taskkill.exe")), arguments, QIODevice::ReadOnly);
    if (taskkill.waitForStarted(taskkillTimeoutMs) && !taskkill.waitForFinished(taskkillTimeoutMs))
        taskkill.kill();
    taskkill.waitForFinished(1000);
}

// Asks the processes to end (taskkill without -F: the tunnel program removes its routes), forces
// whatever is left after the wait, and as a last resort ends the checked processes themselves.
// The handles are held throughout, so every id named to taskkill is still the process checked.
void endPolitelyThenForce(const std::vector<DWORD> &roots, const ProcessTree::Handles &members)
{
    for (const DWORD id : roots)
        runTaskkill(id, false);
    if (ProcessTree::waitAllEnded(members, killWaitTimeoutMs))
        return;
    for (const DWORD id : roots)
        runTaskkill(id, true);
    if (ProcessTree::waitAllEnded(members, killWaitTimeoutMs))
        return;
    for (const auto &member : members) {
        if (ProcessTree::isRunning(member->value))
            TerminateProcess(member->value, 1);
    }
    ProcessTree::waitAllEnded(members, killWaitTimeoutMs);
}

// The owner of the loopback connection that accepted ours (local end peerPort, remote end
// localPort); 0 when the table names none, as Wine's does for every connection.
std::optional<DWORD> acceptingProcess(quint16 localPort, quint16 peerPort)
{
    ULONG size = 0;
    std::vector<unsigned char> buffer;
    DWORD result = ERROR_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
        buffer.resize(size ? size : sizeof(MIB_TCPTABLE_OWNER_PID));
        size = ULONG(buffer.size());
        result = GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
    }
    if (result != NO_ERROR)
        return std::nullopt;
    const auto *table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID *>(buffer.data());
    const DWORD loopback = htonl(INADDR_LOOPBACK);
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_TCPROW_OWNER_PID &row = table->table[i];
        if (row.dwState == MIB_TCP_STATE_ESTAB && row.dwLocalAddr == loopback && row.dwRemoteAddr == loopback &&
            ntohs(u_short(row.dwLocalPort)) == peerPort && ntohs(u_short(row.dwRemotePort)) == localPort)
            return row.dwOwningPid;
    }
    return std::nullopt;
}

QByteArray runWmic(const QStringList &arguments, int timeoutMs)
{
    const QString wmic = systemProgram(QStringLiteral("wmic.exe"));
    if (wmic.isEmpty() || timeoutMs <= 0)
        return {};
    QProcess process;
    // wmic waits for its standard input to end before it exits.
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(wmic, arguments, QIODevice::ReadOnly);
    if (!process.waitForStarted(timeoutMs))
        return {};
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return {};
    }
    return process.readAllStandardOutput();
}

} // namespace

HostSystem &productionHostSystem()
{
    static WindowsHostSystem windowsHost;
    return windowsHost;
}

QString systemProgram(const QString &name)
{
    wchar_t folder[MAX_PATH];
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    const QString system = QDir::fromNativeSeparators(QString::fromWCharArray(folder, int(length)));
    for (const QString &candidate : {system + QLatin1Char('/') + name, system + QLatin1String("/wbem/") + name}) {
        if (QFileInfo(candidate).isFile())
            return QDir::toNativeSeparators(candidate);
    }
    return {};
}

const QList<QStringList> &wmicQueries()
{
    static const QList<QStringList> queries = {
        {QStringLiteral("diskdrive"), QStringLiteral("get"), QStringLiteral("serialnumber")},
        {QStringLiteral("csproduct"), QStringLiteral("get"), QStringLiteral("uuid")},
        {QStringLiteral("bios"), QStringLiteral("get"), QStringLiteral("serialnumber")},
        {QStringLiteral("baseboard"), QStringLiteral("get"), QStringLiteral("serialnumber")},
        {QStringLiteral("cpu"), QStringLiteral("get"), QStringLiteral("processorid")},
        {QStringLiteral("cpu"), QStringLiteral("get"), QStringLiteral("NumberOfLogicalProcessors")},
        {QStringLiteral("cpu"), QStringLiteral("get"), QStringLiteral("NumberOfCores")},
        {QStringLiteral("cpu"), QStringLiteral("get"), QStringLiteral("Name")},
    };
    return queries;
}

QStringList fingerprintOrder(const QStringList &outputsInRunOrder)
{
    QStringList texts;
    for (int i = 7; i >= 0; --i)
        texts << outputsInRunOrder.value(i);
    return texts;
}

QString findOpenVpnProgram()
{
    // The 64-bit view: the installer writes its key there, also when the client were 32-bit.
    QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\OpenVPN"), QSettings::Registry64Format);
    QStringList candidates;
    const QString exePath = key.value(QStringLiteral("exe_path")).toString();
    if (!exePath.isEmpty())
        candidates << exePath;
    const QString folder = key.value(QStringLiteral("Default")).toString();
    if (!folder.isEmpty())
        candidates << folder + QLatin1String("\\bin\\openvpn.exe");
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).isFile())
            return QDir::toNativeSeparators(QFileInfo(candidate).absoluteFilePath());
    }
    // PATH only, not the working directory, where anyone who can write there could plant one.
    return QDir::toNativeSeparators(QStandardPaths::findExecutable(QStringLiteral("openvpn.exe")));
}

QString cmdQuoted(const QString &text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('%') || c == QLatin1Char('\r') || c == QLatin1Char('\n') ||
            c.category() == QChar::Other_Control)
            return {};
    }
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QByteArray windowsTunnelCommandLine(const QString &program, const QString &tapSerial, const QString &managementHost,
                                    quint16 managementPort, const QString &managementPasswordFile)
{
    const QString executable = program.isEmpty() ? QStringLiteral("openvpn.exe") : cmdQuoted(program);
    const QString profile = cmdQuoted(tapSerial + QLatin1String(".ovpn"));
    const QString passwordFile = cmdQuoted(QDir::toNativeSeparators(managementPasswordFile));
    if (executable.isEmpty() || profile.isEmpty() || passwordFile.isEmpty())
        return {};
    const QString line = executable + QLatin1String(" --config ") + profile + QLatin1String(" --management ") +
                         managementHost + QLatin1Char(' ') + QString::number(managementPort) + QLatin1Char(' ') +
                         passwordFile + QLatin1String("\r\n");
    return line.toUtf8();
}

bool isWindowsTunnelCommandLine(const QString &commandLine)
{
    // Split as the C run-time does for the usual cases: blanks separate, double quotes group.
    QStringList arguments;
    QString current;
    bool quoted = false;
    bool any = false;
    for (const QChar c : commandLine) {
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
            any = true;
        } else if ((c == QLatin1Char(' ') || c == QLatin1Char('\t')) && !quoted) {
            if (any)
                arguments << current;
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (any)
        arguments << current;
    if (arguments.isEmpty())
        return false;
    const QString program = QDir::fromNativeSeparators(arguments.first()).section(QLatin1Char('/'), -1);
    if (program.compare(QLatin1String("openvpn.exe"), Qt::CaseInsensitive) != 0 &&
        program.compare(QLatin1String("openvpn"), Qt::CaseInsensitive) != 0)
        return false;
    const int config = arguments.indexOf(QStringLiteral("--config"));
    return config > 0 && arguments.value(config + 1).endsWith(QLatin1String(".ovpn"), Qt::CaseInsensitive) &&
           arguments.contains(QStringLiteral("--management"));
}

std::vector<AdapterInfo> WindowsHostSystem::adapters()
{
    std::vector<AdapterInfo> result;
    ULONG size = sizeof(IP_ADAPTER_INFO);
    std::vector<unsigned char> buffer(size, 0);
    DWORD answer = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO *>(buffer.data()), &size);
    if (answer == ERROR_BUFFER_OVERFLOW) {
        buffer.assign(size, 0);
        answer = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO *>(buffer.data()), &size);
    }
    if (answer != NO_ERROR)
        return result;
    for (const IP_ADAPTER_INFO *adapter = reinterpret_cast<IP_ADAPTER_INFO *>(buffer.data()); adapter;
         adapter = adapter->Next) {
        AdapterInfo info;
        info.description = QString::fromLocal8Bit(adapter->Description);
        for (const IP_ADDR_STRING *address = &adapter->IpAddressList; address; address = address->Next)
            info.ipv4Addresses << QString::fromLatin1(address->IpAddress.String);
        result.push_back(info);
    }
    return result;
}

std::optional<quint64> WindowsHostSystem::tapSentBytes()
{
    return tapCounter(true);
}

std::optional<quint64> WindowsHostSystem::tapReceivedBytes()
{
    return tapCounter(false);
}

bool WindowsHostSystem::mayCreateTunDevice()
{
    // The TAP adapter is installed with its driver; OpenVPN opens it without further rights.
    return true;
}

std::optional<quint64> WindowsHostSystem::tapCounter(bool sent)
{
    ULONG size = 0;
    if (GetIfTable(nullptr, &size, TRUE) != ERROR_INSUFFICIENT_BUFFER) {
        std::fputs("Some error occured!\n", stdout);
        return std::nullopt;
    }
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[size]);
    if (!buffer) {
        std::fputs("Memory allocate failue\n", stdout);
        return std::nullopt;
    }
    auto *table = reinterpret_cast<MIB_IFTABLE *>(buffer.get());
    if (GetIfTable(table, &size, TRUE) != NO_ERROR) {
        std::fputs("Some error occured!\n", stdout);
        return std::nullopt;
    }
    std::optional<quint64> counter;
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_IFROW &row = table->table[i];
        if (row.dwType == ifTypeEthernet && row.dwAdminStatus == adminStatusUp &&
            DWORD(row.dwOperStatus) == operStatusOperational && row.dwDescrLen >= 3 && row.bDescr[0] == 'T' &&
            row.bDescr[1] == 'A' && row.bDescr[2] == 'P')
            counter = sent ? row.dwOutOctets : row.dwInOctets;
    }
    return counter;
}

QStringList WindowsHostSystem::hardwareTexts()
{
    QElapsedTimer clock;
    clock.start();
    QStringList outputs;
    for (const QStringList &query : wmicQueries()) {
        const int left = wmicTotalTimeoutMs - int(clock.elapsed());
        outputs << QString::fromLocal8Bit(runWmic(query, qMin(wmicTimeoutMs, left)));
    }
    return fingerprintOrder(outputs);
}

QByteArray WindowsHostSystem::startTunnelInterpreter(QProcess &process, const QString &tapSerial,
                                                     const QString &managementHost, quint16 managementPort,
                                                     const QString &managementPasswordFile)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(systemProgram(QStringLiteral("cmd.exe")), QStringList(), QIODevice::ReadWrite);
    // Taken while cmd.exe is a running child, so the handle names it and nothing else.
    if (process.waitForStarted(5000))
        rememberInterpreter(DWORD(process.processId()));
    return windowsTunnelCommandLine(findOpenVpnProgram(), tapSerial, managementHost, managementPort,
                                    managementPasswordFile);
}

void WindowsHostSystem::killProcessTree(const QString &processId)
{
    const std::optional<DWORD> id = parseProcessId(processId);
    if (!id)
        return;
    const HANDLE interpreter = ownedInterpreter(*id);
    if (!interpreter)
        return; // not ours, or ended: its id may belong to anyone now
    ProcessTree::Handles members = ProcessTree::descendants(interpreter, *id);
    // Our own handle to the interpreter, alongside those of its tree, for the waits.
    std::unique_ptr<ProcessTree::Handle> self = ProcessTree::open(*id);
    if (self)
        members.insert(members.begin(), std::move(self));
    endPolitelyThenForce({*id}, members);
}

bool WindowsHostSystem::tunnelOwnsConnection(const QString &processId, quint16 localPort, quint16 peerPort)
{
    const std::optional<DWORD> id = parseProcessId(processId);
    if (!id)
        return false;
    const HANDLE interpreter = ownedInterpreter(*id);
    if (!interpreter)
        return false;
    const std::optional<DWORD> owner = acceptingProcess(localPort, peerPort);
    // An unknown owner (0) proves nothing: the port may be anyone's.
    if (!owner || *owner == 0)
        return false;
    if (*owner == *id)
        return true;
    const ProcessTree::Handles tree = ProcessTree::descendants(interpreter, *id);
    return std::any_of(tree.begin(), tree.end(), [owner](const auto &member) { return member->id == *owner; });
}

void WindowsHostSystem::stopStrayTunnel(const QString &processId)
{
    const std::optional<DWORD> id = parseProcessId(processId);
    if (!id || *id == GetCurrentProcessId() || ownedInterpreter(*id))
        return;
    const std::unique_ptr<ProcessTree::Handle> interpreter = ProcessTree::open(*id);
    if (!interpreter || ProcessTree::imageName(*id).compare(QLatin1String("cmd.exe"), Qt::CaseInsensitive) != 0)
        return;
    const QString here = QDir::current().canonicalPath();
    ProcessTree::Handles strays;
    std::vector<DWORD> ids;
    for (std::unique_ptr<ProcessTree::Handle> &member : ProcessTree::descendants(interpreter->value, *id)) {
        const QString directory = ProcessTree::workingDirectory(member->value);
        if (!isWindowsTunnelCommandLine(ProcessTree::commandLine(member->value)) || directory.isEmpty() ||
            QDir(directory).canonicalPath().compare(here, Qt::CaseInsensitive) != 0)
            continue;
        ids.push_back(member->id);
        strays.push_back(std::move(member));
    }
    if (!strays.empty())
        endPolitelyThenForce(ids, strays);
}

bool WindowsHostSystem::isPrivateToUser(const QString &path)
{
    return UserAcl::isPrivateToUser(path);
}
