#include "platform/hostsystem_linux.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>

namespace {

// A hung sysfs attribute, a stuck disk or a dead lsblk must not freeze the client: every
// hardware read gets this long, then it counts as empty.
constexpr int hardwareReadTimeoutMs = 3000;
// How long a process group may take to end after SIGTERM (OpenVPN removes its routes), and again
// after SIGKILL.
constexpr int killWaitTimeoutMs = 3000;
constexpr int killPollIntervalMs = 10;

constexpr unsigned tunFlagTap = 0x0002; // IFF_TAP in tun_flags

QString netClassPath(const QString &interfaceName, const QString &attribute)
{
    return QStringLiteral("/sys/class/net/") + interfaceName + QLatin1Char('/') + attribute;
}

QByteArray readSmallFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

std::optional<quint64> readNumber(const QString &path, int base)
{
    bool ok = false;
    const quint64 value = readSmallFile(path).trimmed().toULongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    return value;
}

bool isTunDevice(const QString &interfaceName)
{
    return QFileInfo::exists(netClassPath(interfaceName, QStringLiteral("tun_flags")));
}

// ---- bounded work -------------------------------------------------------------------------------

// One piece of work on a detached thread. If it does not finish in time, the caller walks away
// and the thread finishes (or hangs) on its own; the shared state keeps it valid either way.
class BoundedTask {
public:
    explicit BoundedTask(std::function<QByteArray()> work) : state(std::make_shared<State>())
    {
        state->work = std::move(work);
        auto *handOver = new std::shared_ptr<State>(state);
        pthread_attr_t attributes;
        pthread_attr_init(&attributes);
        pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        const int started = pthread_create(&thread, &attributes, &BoundedTask::run, handOver);
        pthread_attr_destroy(&attributes);
        if (started != 0) {
            // No thread to spare: do it here rather than lose the text.
            delete handOver;
            state->result = state->work();
            state->finished = true;
        }
    }

    // The result, or empty when the work was not done by the deadline.
    QByteArray result(std::chrono::steady_clock::time_point deadline)
    {
        std::unique_lock<std::mutex> lock(state->mutex);
        if (!state->done.wait_until(lock, deadline, [this] { return state->finished; }))
            return {};
        return state->result;
    }

private:
    struct State {
        std::function<QByteArray()> work;
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        QByteArray result;
    };

    static void *run(void *argument)
    {
        auto *handOver = static_cast<std::shared_ptr<State> *>(argument);
        const std::shared_ptr<State> state = *handOver;
        delete handOver;
        QByteArray result = state->work();
        {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->result = std::move(result);
            state->finished = true;
        }
        state->done.notify_all();
        return nullptr;
    }

    std::shared_ptr<State> state;
};

BoundedTask boundedFileRead(const QString &path)
{
    return BoundedTask([path] { return readSmallFile(path); });
}

// ---- /proc/cpuinfo ------------------------------------------------------------------------------

struct CpuInfo {
    QHash<QString, QString> firstProcessor; // key: value of the first processor block
    int logicalProcessors = 0;
};

CpuInfo parseCpuInfo(const QByteArray &text)
{
    CpuInfo info;
    bool inFirstBlock = true;
    bool sawAnyField = false;
    for (const QByteArray &rawLine : text.split('\n')) {
        const int colon = rawLine.indexOf(':');
        if (colon < 0) {
            if (rawLine.trimmed().isEmpty() && sawAnyField)
                inFirstBlock = false; // a blank line ends a processor block
            continue;
        }
        const QString key = QString::fromUtf8(rawLine.left(colon)).trimmed();
        const QString value = QString::fromUtf8(rawLine.mid(colon + 1)).trimmed();
        sawAnyField = true;
        if (key == QLatin1String("processor"))
            ++info.logicalProcessors;
        if (inFirstBlock && !info.firstProcessor.contains(key))
            info.firstProcessor.insert(key, value);
    }
    return info;
}

QString cpuName(const CpuInfo &info)
{
    // x86 says "model name"; older ARM kernels "Processor"; MIPS "cpu model".
    for (const char *key : {"model name", "Processor", "cpu model"}) {
        const QString value = info.firstProcessor.value(QLatin1String(key));
        if (!value.isEmpty())
            return value;
    }
    return {};
}

// CPUID leaf 1 EDX bits as the kernel names them in "flags".
quint32 featureWordFromFlags(const QString &flags)
{
    static const struct {
        const char *name;
        int bit;
    } featureBits[] = {
        {"fpu", 0},    {"vme", 1},  {"de", 2},       {"pse", 3},   {"tsc", 4},   {"msr", 5},  {"pae", 6},   {"mce", 7},
        {"cx8", 8},    {"apic", 9}, {"sep", 11},     {"mtrr", 12}, {"pge", 13},  {"mca", 14}, {"cmov", 15}, {"pat", 16},
        {"pse36", 17}, {"pn", 18},  {"clflush", 19}, {"dts", 21},  {"acpi", 22}, {"mmx", 23}, {"fxsr", 24}, {"sse", 25},
        {"sse2", 26},  {"ss", 27},  {"ht", 28},      {"tm", 29},   {"ia64", 30}, {"pbe", 31},
    };
    const QStringList present = flags.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    quint32 word = 0;
    for (const auto &feature : featureBits) {
        if (present.contains(QLatin1String(feature.name)))
            word |= quint32(1) << feature.bit;
    }
    return word;
}

// ---- /proc/<pid>/stat ---------------------------------------------------------------------------

struct ProcessStat {
    char state = '?';
    pid_t parent = 0;
    pid_t group = 0;
    pid_t session = 0;
};

std::optional<ProcessStat> readProcessStat(pid_t pid)
{
    char path[64];
    snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    char buffer[1024];
    const ssize_t length = ::read(fd, buffer, sizeof buffer - 1);
    ::close(fd);
    if (length <= 0)
        return std::nullopt;
    buffer[length] = '\0';
    // The command name may hold blanks and parentheses; the fields after the last ')' do not.
    const char *afterName = strrchr(buffer, ')');
    if (!afterName)
        return std::nullopt;
    ProcessStat stat;
    int parent = 0;
    int group = 0;
    int session = 0;
    if (sscanf(afterName + 1, " %c %d %d %d", &stat.state, &parent, &group, &session) != 4)
        return std::nullopt;
    stat.parent = parent;
    stat.group = group;
    stat.session = session;
    return stat;
}

bool isLive(const ProcessStat &stat)
{
    // A zombie is dead already; reaping it is its parent's business (QProcess for ours).
    return stat.state != 'Z' && stat.state != 'X' && stat.state != 'x';
}

template <typename Visitor> void forEachProcess(Visitor visit)
{
    DIR *proc = opendir("/proc");
    if (!proc)
        return;
    while (const dirent *entry = readdir(proc)) {
        char *end = nullptr;
        const long pid = strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0')
            continue;
        if (const std::optional<ProcessStat> stat = readProcessStat(static_cast<pid_t>(pid)))
            visit(static_cast<pid_t>(pid), *stat);
    }
    closedir(proc);
}

bool groupHasLiveMember(pid_t group)
{
    bool found = false;
    forEachProcess([&](pid_t, const ProcessStat &stat) {
        if (stat.group == group && isLive(stat))
            found = true;
    });
    return found;
}

bool isProcessLive(pid_t pid)
{
    const std::optional<ProcessStat> stat = readProcessStat(pid);
    return stat && isLive(*stat);
}

// The processes and all their descendants, parents before children, each once; never this
// process.
std::vector<pid_t> processTree(std::vector<pid_t> roots)
{
    QHash<pid_t, std::vector<pid_t>> children;
    forEachProcess([&](pid_t pid, const ProcessStat &stat) { children[stat.parent].push_back(pid); });
    std::vector<pid_t> tree = std::move(roots);
    for (size_t i = 0; i < tree.size(); ++i) {
        for (pid_t child : children.value(tree[i])) {
            if (child != getpid() && std::find(tree.begin(), tree.end(), child) == tree.end())
                tree.push_back(child);
        }
    }
    return tree;
}

// True when stillThere() turned false within the time-out.
template <typename Predicate> bool waitBounded(Predicate stillThere)
{
    QElapsedTimer clock;
    clock.start();
    while (stillThere()) {
        if (clock.elapsed() >= killWaitTimeoutMs)
            return false;
        QThread::msleep(killPollIntervalMs);
    }
    return true;
}

// SIGTERM first, SIGKILL to whatever is left after the wait, then wait again. `signal` sends to
// all that should get it; SIGCONT lets a stopped member act on its SIGTERM.
template <typename Sender, typename Predicate> void terminateThenKill(Sender signal, Predicate stillThere)
{
    signal(SIGTERM);
    signal(SIGCONT);
    if (waitBounded(stillThere))
        return;
    signal(SIGKILL);
    waitBounded(stillThere);
}

std::optional<pid_t> parseProcessId(const QString &text)
{
    const std::optional<quint64> id = parseProcessIdText(text, quint64(std::numeric_limits<pid_t>::max()));
    return id ? std::optional<pid_t>(static_cast<pid_t>(*id)) : std::nullopt;
}

// ---- processes this layer started --------------------------------------------------------------

// A pidfd names one process for good: it never comes to name another that gets the same pid.
int openPidfd(pid_t pid)
{
    return int(::syscall(SYS_pidfd_open, pid, 0));
}

bool signalPidfd(int pidfd, int signal)
{
    return ::syscall(SYS_pidfd_send_signal, pidfd, signal, nullptr, 0) == 0;
}

bool hasExited(int pidfd)
{
    pollfd exit{pidfd, POLLIN, 0};
    return ::poll(&exit, 1, 0) > 0;
}

// The interpreters startTunnelInterpreter started, each with a pidfd taken while it was still an
// unreaped child (-1 where the kernel has no pidfds). Process-wide, like the children themselves.
std::mutex startedMutex;
std::map<pid_t, int> startedInterpreters;

// Until the interpreter is reaped its pid, and with it its process group's id, cannot be given to
// another process. A zombie still holds it.
bool isUnreaped(pid_t pid, int pidfd)
{
    if (pidfd >= 0)
        return signalPidfd(pidfd, 0);
    const std::optional<ProcessStat> stat = readProcessStat(pid);
    return stat && stat->parent == getpid();
}

// The pidfd of an interpreter this layer started and that was not reaped yet; the entry of one
// that was goes.
std::optional<int> ownedInterpreter(pid_t pid)
{
    std::lock_guard<std::mutex> lock(startedMutex);
    const auto entry = startedInterpreters.find(pid);
    if (entry == startedInterpreters.end())
        return std::nullopt;
    if (isUnreaped(pid, entry->second))
        return entry->second;
    if (entry->second >= 0)
        ::close(entry->second);
    startedInterpreters.erase(entry);
    return std::nullopt;
}

void rememberInterpreter(pid_t pid)
{
    std::lock_guard<std::mutex> lock(startedMutex);
    for (auto entry = startedInterpreters.begin(); entry != startedInterpreters.end();) {
        if (isUnreaped(entry->first, entry->second)) {
            ++entry;
            continue;
        }
        if (entry->second >= 0)
            ::close(entry->second);
        entry = startedInterpreters.erase(entry);
    }
    const auto old = startedInterpreters.find(pid);
    if (old != startedInterpreters.end() && old->second >= 0)
        ::close(old->second);
    startedInterpreters[pid] = openPidfd(pid);
}

// Signals every live member of the interpreter's group, each through a pidfd of its own opened
// while the interpreter (which holds the group's id) was provably unreaped.
void signalGroup(pid_t leader, int leaderPidfd, int signal)
{
    if (leaderPidfd < 0) {
        if (isUnreaped(leader, leaderPidfd))
            killpg(leader, signal);
        return;
    }
    std::vector<int> members;
    forEachProcess([&](pid_t pid, const ProcessStat &stat) {
        if (stat.group != leader || !isLive(stat))
            return;
        const int pidfd = openPidfd(pid);
        if (pidfd < 0)
            return;
        // Read again: the pidfd names whoever had the pid when it was opened.
        const std::optional<ProcessStat> again = readProcessStat(pid);
        if (again && again->group == leader)
            members.push_back(pidfd);
        else
            ::close(pidfd);
    });
    const bool ours = isUnreaped(leader, leaderPidfd);
    for (const int pidfd : members) {
        if (ours)
            signalPidfd(pidfd, signal);
        ::close(pidfd);
    }
}

QByteArray procText(pid_t pid, const char *entry)
{
    return readSmallFile(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(entry)));
}

QByteArray procLink(const QByteArray &path)
{
    char target[4096];
    const ssize_t length = ::readlink(path.constData(), target, sizeof target);
    return length > 0 ? QByteArray(target, int(length)) : QByteArray();
}

// The inode of the socket on the far side of this process's loopback connection from localPort
// to peerPort: the one its listener accepted (0 until it is accepted).
std::optional<quint64> acceptedSocketInode(quint16 localPort, quint16 peerPort)
{
    QByteArray table = readSmallFile(QStringLiteral("/proc/thread-self/net/tcp"));
    if (table.isEmpty())
        table = readSmallFile(QStringLiteral("/proc/net/tcp"));
    const QByteArray local = "0100007F:" + QByteArray::number(peerPort, 16).toUpper().rightJustified(4, '0');
    const QByteArray remote = "0100007F:" + QByteArray::number(localPort, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        // sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode
        if (fields.size() < 10 || fields.at(1) != local || fields.at(2) != remote || fields.at(3) != "01")
            continue;
        bool ok = false;
        const quint64 inode = fields.at(9).toULongLong(&ok);
        if (ok && inode != 0)
            return inode;
    }
    return std::nullopt;
}

bool holdsDescriptorTo(pid_t pid, const QByteArray &target)
{
    const QByteArray directory = "/proc/" + QByteArray::number(pid) + "/fd";
    DIR *descriptors = opendir(directory.constData());
    if (!descriptors)
        return false;
    bool found = false;
    while (const dirent *entry = readdir(descriptors)) {
        if (entry->d_name[0] != '.' && procLink(directory + '/' + entry->d_name) == target) {
            found = true;
            break;
        }
    }
    closedir(descriptors);
    return found;
}

// A live member of the session running the tunnel command line in the directory `here`.
bool isStrayTunnel(pid_t pid, pid_t session, const QByteArray &here)
{
    const std::optional<ProcessStat> stat = readProcessStat(pid);
    if (!stat || stat->session != session || !isLive(*stat))
        return false;
    if (procLink("/proc/" + QByteArray::number(pid) + "/cwd") != here)
        return false;
    QByteArray arguments = procText(pid, "cmdline");
    if (arguments.endsWith('\0'))
        arguments.chop(1);
    return isTunnelCommandLine(arguments.split('\0'));
}

bool isUsersPrivateGroup(gid_t gid)
{
    char buffer[16384];
    passwd user{};
    passwd *foundUser = nullptr;
    if (getpwuid_r(geteuid(), &user, buffer, sizeof buffer / 2, &foundUser) != 0 || !foundUser ||
        user.pw_gid != gid)
        return false;
    group userGroup{};
    group *foundGroup = nullptr;
    if (getgrgid_r(gid, &userGroup, buffer + sizeof buffer / 2, sizeof buffer / 2, &foundGroup) != 0 || !foundGroup ||
        strcmp(userGroup.gr_name, user.pw_name) != 0)
        return false;
    for (char **member = userGroup.gr_mem; member && *member; ++member) {
        if (strcmp(*member, user.pw_name) != 0)
            return false;
    }
    return true;
}

QByteArray firstDiskSerialFromSysfs()
{
    static const char *const virtualDevices[] = {"loop", "ram", "zram", "dm-", "md", "nbd", "sr", "fd"};
    const QStringList devices =
        QDir(QStringLiteral("/sys/block")).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    for (const QString &device : devices) {
        bool isVirtual = false;
        for (const char *prefix : virtualDevices)
            isVirtual = isVirtual || device.startsWith(QLatin1String(prefix));
        if (isVirtual)
            continue;
        // NVMe and SCSI keep it under device/, virtio-blk beside it.
        for (const char *attribute : {"/device/serial", "/serial"}) {
            const QByteArray serial =
                readSmallFile(QStringLiteral("/sys/block/") + device + QLatin1String(attribute)).trimmed();
            if (!serial.isEmpty())
                return serial;
        }
    }
    return {};
}

QByteArray firstDiskSerialFromLsblk()
{
    QProcess lsblk;
    lsblk.setProcessChannelMode(QProcess::SeparateChannels);
    lsblk.start(QStringLiteral("lsblk"), {QStringLiteral("-dno"), QStringLiteral("SERIAL")}, QIODevice::ReadOnly);
    if (!lsblk.waitForFinished(hardwareReadTimeoutMs)) {
        if (lsblk.state() != QProcess::NotRunning) {
            lsblk.kill();
            lsblk.waitForFinished(1000);
        }
        return {};
    }
    for (const QByteArray &line : lsblk.readAllStandardOutput().split('\n')) {
        if (!line.trimmed().isEmpty())
            return line.trimmed();
    }
    return {};
}

} // namespace

QString shellQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QByteArray tunnelCommandLine(const QString &tapSerial, const QString &managementHost, quint16 managementPort,
                             const QString &managementPasswordFile)
{
    // The device options follow --config so that they override the profile's own "dev tun".
    const QString line = QLatin1String("openvpn --config ") + shellQuoted(tapSerial + QLatin1String(".ovpn")) +
                         QLatin1String(" --dev-type tun --dev ") + tunnelDeviceName + QLatin1String(" --management ") +
                         managementHost + QLatin1Char(' ') + QString::number(managementPort) + QLatin1Char(' ') +
                         shellQuoted(managementPasswordFile) + QLatin1Char('\n');
    return line.toUtf8();
}

QString processorIdFromCpuInfo(const QByteArray &cpuInfo)
{
    const CpuInfo info = parseCpuInfo(cpuInfo);
    const QHash<QString, QString> &fields = info.firstProcessor;

    bool familyOk = false;
    bool modelOk = false;
    bool steppingOk = false;
    const uint family = fields.value(QStringLiteral("cpu family")).toUInt(&familyOk);
    const uint model = fields.value(QStringLiteral("model")).toUInt(&modelOk);
    const uint stepping = fields.value(QStringLiteral("stepping")).toUInt(&steppingOk);
    if (familyOk && modelOk && steppingOk && fields.contains(QStringLiteral("flags"))) {
        // The kernel shows family = base + extended (when base is 15) and model = extended << 4 +
        // base (from family 6 on); take them apart again into the CPUID signature layout.
        const uint baseFamily = family >= 15 ? 15 : family;
        const uint extendedFamily = family >= 15 ? family - 15 : 0;
        const uint baseModel = model & 0xF;
        const uint extendedModel = family >= 6 ? (model >> 4) & 0xF : 0;
        const quint32 signature = (stepping & 0xF) | (baseModel << 4) | ((baseFamily & 0xF) << 8) |
                                  (extendedModel << 16) | ((extendedFamily & 0xFF) << 20);
        const quint32 features = featureWordFromFlags(fields.value(QStringLiteral("flags")));
        return QStringLiteral("%1%2")
            .arg(features, 8, 16, QLatin1Char('0'))
            .arg(signature, 8, 16, QLatin1Char('0'))
            .toUpper();
    }

    QStringList parts;
    for (const char *key : {"CPU implementer", "CPU architecture", "CPU variant", "CPU part", "CPU revision"}) {
        const QString value = fields.value(QLatin1String(key));
        if (!value.isEmpty())
            parts << value;
    }
    return parts.join(QLatin1Char('-'));
}

HostSystem &productionHostSystem()
{
    static LinuxHostSystem linuxHost;
    return linuxHost;
}

std::vector<AdapterInfo> LinuxHostSystem::adapters()
{
    std::vector<AdapterInfo> result;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) != 0)
        return result;

    // getifaddrs names every interface once per address family; keep the first-seen order.
    std::vector<QString> names;
    QHash<QString, QStringList> addresses;
    for (const ifaddrs *entry = list; entry; entry = entry->ifa_next) {
        if (!entry->ifa_name)
            continue;
        const QString name = QString::fromLocal8Bit(entry->ifa_name);
        if (!addresses.contains(name)) {
            names.push_back(name);
            addresses.insert(name, {});
        }
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET) {
            char text[INET_ADDRSTRLEN] = {};
            const auto *address = reinterpret_cast<const sockaddr_in *>(entry->ifa_addr);
            if (inet_ntop(AF_INET, &address->sin_addr, text, sizeof text))
                addresses[name] << QString::fromLatin1(text);
        }
    }
    freeifaddrs(list);

    bool ownDeviceExists = false;
    for (const QString &name : names) {
        AdapterInfo adapter;
        if (name == tunnelDeviceName)
            ownDeviceExists = true;
        // Only our own TUN device reads as "TAP": another VPN's tun0 must not pass for our tunnel,
        // nor an ordinary interface that happens to carry the name.
        if (name == tunnelDeviceName && isTunDevice(name)) {
            const std::optional<quint64> flags = readNumber(netClassPath(name, QStringLiteral("tun_flags")), 0);
            const bool tap = flags && (*flags & tunFlagTap);
            adapter.description = (tap ? QLatin1String("TAP-Linux tap ") : QLatin1String("TAP-Linux tun ")) + name;
        } else {
            adapter.description = QLatin1String("Interface ") + name;
        }
        adapter.ipv4Addresses = addresses.value(name);
        if (adapter.ipv4Addresses.isEmpty())
            adapter.ipv4Addresses << QStringLiteral("0.0.0.0");
        result.push_back(adapter);
    }

    // OpenVPN creates its device only when it starts; a usable TUN driver is the installed,
    // unused adapter.
    if (!ownDeviceExists) {
        const int fd = ::open("/dev/net/tun", O_RDWR | O_CLOEXEC);
        if (fd >= 0) {
            ::close(fd);
            result.push_back(
                {QStringLiteral("TAP-Linux tun (created when the tunnel starts)"), {QStringLiteral("0.0.0.0")}});
        }
    }
    return result;
}

std::optional<quint64> LinuxHostSystem::tapReceivedBytes()
{
    if (!tapSentBytes())
        return std::nullopt;
    return readNumber(netClassPath(tunnelDeviceName, QStringLiteral("statistics/rx_bytes")), 10);
}

bool LinuxHostSystem::mayCreateTunDevice()
{
    constexpr quint64 netAdmin = quint64(1) << 12; // CAP_NET_ADMIN
    if (::geteuid() == 0)
        return true;
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("CapEff:") && (line.mid(7).trimmed().toULongLong(nullptr, 16) & netAdmin))
                return true;
        }
    }
    // A file capability: the first word holds the revision and the effective flag, the second the
    // low half of the permitted set.
    const QString program = QStandardPaths::findExecutable(QStringLiteral("openvpn"));
    if (program.isEmpty())
        return false;
    quint32 words[2] = {};
    const ssize_t size = ::getxattr(QFile::encodeName(program).constData(), "security.capability", words,
                                    sizeof words);
    return size == ssize_t(sizeof words) && (words[0] & 1) && (words[1] & netAdmin);
}

std::optional<quint64> LinuxHostSystem::tapSentBytes()
{
    if (!isTunDevice(tunnelDeviceName))
        return std::nullopt;
    // A tun device without a reader has no carrier, so operstate says "down" or "unknown" even
    // when it is configured; the administrative IFF_UP flag is what counts.
    const std::optional<quint64> flags = readNumber(netClassPath(tunnelDeviceName, QStringLiteral("flags")), 0);
    if (!flags || !(*flags & IFF_UP))
        return std::nullopt;
    return readNumber(netClassPath(tunnelDeviceName, QStringLiteral("statistics/tx_bytes")), 10);
}

QStringList LinuxHostSystem::hardwareTexts()
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(hardwareReadTimeoutMs);
    // Only sources every local user can read: the platform ties a binding to the fingerprint, so
    // it must not change with the account the client runs under. The board and product serials
    // under /sys/class/dmi/id are root-only and stay empty; the machine id takes the product
    // uuid's place. All reads run at once, so the set costs at most one time-out, not one per text.
    BoundedTask cpuInfoRead = boundedFileRead(QStringLiteral("/proc/cpuinfo"));
    BoundedTask machineIdRead = boundedFileRead(QStringLiteral("/etc/machine-id"));
    BoundedTask diskSerialRead(&firstDiskSerialFromSysfs);

    const QByteArray cpuInfoText = cpuInfoRead.result(deadline);
    const CpuInfo cpu = parseCpuInfo(cpuInfoText);
    QByteArray diskSerial = diskSerialRead.result(deadline);
    if (diskSerial.isEmpty())
        diskSerial = firstDiskSerialFromLsblk();

    return {
        cpuName(cpu),
        cpu.firstProcessor.value(QStringLiteral("cpu cores")),
        cpu.logicalProcessors > 0 ? QString::number(cpu.logicalProcessors) : QString(),
        processorIdFromCpuInfo(cpuInfoText),
        QString(),
        QString(),
        QString::fromLocal8Bit(machineIdRead.result(deadline)),
        QString::fromLocal8Bit(diskSerial),
    };
}

QByteArray LinuxHostSystem::startTunnelInterpreter(QProcess &process, const QString &tapSerial,
                                                   const QString &managementHost, quint16 managementPort,
                                                   const QString &managementPasswordFile)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    // setsid makes the shell the leader of a new session and process group, so the tunnel and
    // everything it starts can be killed as one group. The QProcess child is no group leader, so
    // setsid needs no fork and the pid QProcess knows stays the shell's.
    const QString setsid = QStandardPaths::findExecutable(QStringLiteral("setsid"));
    if (!setsid.isEmpty())
        process.start(setsid, {QStringLiteral("/bin/sh")}, QIODevice::ReadWrite);
    else
        process.start(QStringLiteral("/bin/sh"), QStringList(), QIODevice::ReadWrite);
    // Taken while the shell is an unreaped child, so it names the shell and nothing else.
    if (process.waitForStarted(5000))
        rememberInterpreter(pid_t(process.processId()));
    return tunnelCommandLine(tapSerial, managementHost, managementPort, managementPasswordFile);
}

void LinuxHostSystem::killProcessTree(const QString &processId)
{
    const std::optional<pid_t> pid = parseProcessId(processId);
    if (!pid || *pid == getpid())
        return;
    const std::optional<int> pidfd = ownedInterpreter(*pid);
    if (!pidfd)
        return; // not ours, or ended: its pid may belong to anyone now
    const pid_t group = getpgid(*pid);
    if (group < 0)
        return;

    if (group == *pid && group != getpgrp()) {
        terminateThenKill([group, pidfd](int signal) { signalGroup(group, *pidfd, signal); },
                          [group] { return groupHasLiveMember(group); });
        return;
    }

    // Not a group of its own (no setsid here): signal the process and its descendants one by one.
    // The tree is kept from before SIGTERM, as an orphan no longer hangs below its parent; before
    // SIGKILL it grows by what the survivors started meanwhile.
    const pid_t leader = *pid;
    std::vector<pid_t> tree = processTree({leader});
    terminateThenKill(
        [&tree, leader, pidfd](int signal) {
            if (!isUnreaped(leader, *pidfd))
                return;
            if (signal == SIGKILL)
                tree = processTree(tree);
            for (pid_t member : tree) {
                if (isProcessLive(member))
                    kill(member, signal);
            }
        },
        [&tree] {
            for (pid_t member : tree) {
                if (isProcessLive(member))
                    return true;
            }
            return false;
        });
}

bool LinuxHostSystem::tunnelOwnsConnection(const QString &processId, quint16 localPort, quint16 peerPort)
{
    const std::optional<pid_t> pid = parseProcessId(processId);
    if (!pid || !ownedInterpreter(*pid))
        return false;
    const std::optional<quint64> inode = acceptedSocketInode(localPort, peerPort);
    if (!inode)
        return false;
    const QByteArray socket = "socket:[" + QByteArray::number(*inode) + ']';
    for (const pid_t member : processTree({*pid})) {
        if (holdsDescriptorTo(member, socket))
            return true;
    }
    return false;
}

void LinuxHostSystem::stopStrayTunnel(const QString &processId)
{
    const std::optional<pid_t> session = parseProcessId(processId);
    if (!session || *session == getpid() || *session == getsid(0) || ownedInterpreter(*session))
        return;
    const QByteArray here = QFile::encodeName(QDir::current().canonicalPath());
    std::vector<int> strays;
    forEachProcess([&](pid_t pid, const ProcessStat &stat) {
        if (stat.session != *session || pid == getpid())
            return;
        const int pidfd = openPidfd(pid);
        if (pidfd < 0)
            return;
        // Checked after the pidfd is open, so the signals reach the process that was checked.
        if (isStrayTunnel(pid, *session, here))
            strays.push_back(pidfd);
        else
            ::close(pidfd);
    });
    if (strays.empty())
        return;
    terminateThenKill(
        [&strays](int signal) {
            for (const int pidfd : strays)
                signalPidfd(pidfd, signal);
        },
        [&strays] {
            return std::any_of(strays.begin(), strays.end(), [](int pidfd) { return !hasExited(pidfd); });
        });
    for (const int pidfd : strays)
        ::close(pidfd);
}

bool LinuxHostSystem::isPrivateToUser(const QString &path)
{
    return isPathPrivateToUser(path);
}

bool isPathPrivateToUser(const QString &path)
{
    struct stat status {};
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0 || S_ISLNK(status.st_mode))
        return false;
    if (status.st_uid != geteuid() || (status.st_mode & S_IWOTH))
        return false;
    return !(status.st_mode & S_IWGRP) || isUsersPrivateGroup(status.st_gid);
}

bool isTunnelCommandLine(const QByteArrayList &arguments)
{
    if (arguments.isEmpty() || arguments.first().mid(arguments.first().lastIndexOf('/') + 1) != "openvpn")
        return false;
    const int config = arguments.indexOf("--config");
    return config > 0 && arguments.value(config + 1).endsWith(".ovpn") && arguments.contains("--management");
}
