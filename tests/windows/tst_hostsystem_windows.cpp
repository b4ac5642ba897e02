// The Windows host layer through the real services, under Wine here: IP Helper, wmic, cmd.exe,
// taskkill, the ACLs. What the layer did is checked by other means than its own (another IP
// Helper call, process handles opened beforehand, the raw management port).
#include <winsock2.h>
#include <ws2tcpip.h>

#include "platform/fingerprint.h"
#include "platform/hostsystem_windows.h"
#include "platform/owneronly.h"
#include "store/atomicfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <aclapi.h>
#include <iphlpapi.h>
#include <sddl.h>
#include <windows.h>

namespace {

// Adapter descriptions and IPv4 addresses as GetAdaptersAddresses tells them.
QMap<QString, QStringList> adaptersByOtherCall()
{
    QMap<QString, QStringList> result;
    ULONG size = 64 * 1024;
    std::vector<unsigned char> buffer(size);
    auto *first = reinterpret_cast<IP_ADAPTER_ADDRESSES *>(buffer.data());
    if (GetAdaptersAddresses(AF_INET, GAA_FLAG_SKIP_DNS_SERVER | GAA_FLAG_SKIP_MULTICAST, nullptr, first, &size) !=
        NO_ERROR)
        return result;
    for (const IP_ADAPTER_ADDRESSES *adapter = first; adapter; adapter = adapter->Next) {
        if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK)
            continue;
        QStringList addresses;
        for (const IP_ADAPTER_UNICAST_ADDRESS *address = adapter->FirstUnicastAddress; address;
             address = address->Next) {
            char text[INET_ADDRSTRLEN] = {};
            const auto *in = reinterpret_cast<const sockaddr_in *>(address->Address.lpSockaddr);
            inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
            addresses << QString::fromLatin1(text);
        }
        result.insert(QString::fromWCharArray(adapter->Description), addresses);
    }
    return result;
}

QString runWmicHere(const QString &klass, const QString &property)
{
    QProcess wmic;
    wmic.setStandardInputFile(QProcess::nullDevice());
    wmic.start(QStringLiteral("wmic"), {klass, QStringLiteral("get"), property});
    if (!wmic.waitForFinished(60000))
        return QStringLiteral("(no answer)");
    return normaliseCommandOutput(wmic.readAllStandardOutput(), property);
}

struct TreeIds {
    DWORD tunnel = 0;
    DWORD child = 0;
};

std::optional<TreeIds> readTreeIds(const QString &folder)
{
    QFile file(folder + QStringLiteral("/testtunnel.pids"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> parts = file.readAll().trimmed().split(' ');
    if (parts.size() != 2)
        return std::nullopt;
    return TreeIds{DWORD(parts[0].toULong()), DWORD(parts[1].toULong())};
}

// Back to where the test started before the folder goes (a folder in use cannot be removed).
struct InFolder {
    explicit InFolder(const QString &path) : before(QDir::currentPath()) { QDir::setCurrent(path); }
    ~InFolder() { QDir::setCurrent(before); }
    QString before;
};

// The entries of the DACL: (SID text, rights, flags) each; "unreadable" when there is none.
QStringList daclEntries(const QString &path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(QDir::toNativeSeparators(path).toStdWString().c_str(), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr, &descriptor) !=
            ERROR_SUCCESS ||
        !dacl)
        return {QStringLiteral("unreadable")};
    QStringList entries;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void *entry = nullptr;
        GetAce(dacl, i, &entry);
        const auto *allowed = static_cast<ACCESS_ALLOWED_ACE *>(entry);
        wchar_t *sid = nullptr;
        ConvertSidToStringSidW(const_cast<DWORD *>(&allowed->SidStart), &sid);
        entries << QStringLiteral("%1 %2 %3 %4")
                       .arg(allowed->Header.AceType)
                       .arg(QString::fromWCharArray(sid))
                       .arg(allowed->Mask, 0, 16)
                       .arg(allowed->Header.AceFlags);
        LocalFree(sid);
    }
    LocalFree(descriptor);
    return entries;
}

QString currentUserSidText()
{
    HANDLE token = nullptr;
    OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token);
    unsigned char buffer[256];
    DWORD size = sizeof buffer;
    GetTokenInformation(token, TokenUser, buffer, size, &size);
    CloseHandle(token);
    wchar_t *sid = nullptr;
    ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER *>(buffer)->User.Sid, &sid);
    const QString text = QString::fromWCharArray(sid);
    LocalFree(sid);
    return text;
}

QStringList withoutSystem(QStringList entries)
{
    entries.removeAll(QStringLiteral("0 S-1-5-18 1f01ff 0"));
    entries.removeAll(QStringLiteral("0 S-1-5-18 1f01ff 3"));
    return entries;
}

bool grantEveryone(const QString &path, DWORD rights)
{
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = rights;
    access.grfAccessMode = GRANT_ACCESS;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.ptstrName = const_cast<wchar_t *>(L"EVERYONE");
    PACL acl = nullptr;
    if (SetEntriesInAclW(1, &access, nullptr, &acl) != ERROR_SUCCESS)
        return false;
    std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const bool done = SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                            acl, nullptr) == ERROR_SUCCESS;
    LocalFree(acl);
    return done;
}

bool underWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

bool hasEnded(HANDLE process)
{
    return WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

} // namespace

class TestHostSystemWindows : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void adaptersAreThoseOfIpHelper();
    void noTapNoCounter();
    void fingerprintFromWmicInOrder();
    void fingerprintWithoutWmicIsTheEmptyDigest();
    void tunnelThroughCmdAndKilledWithItsTree();
    void strayTunnelOfThisFolderOnly();
    void ownerOnlyFilesAndFolders();
    void commandLineQuotingForCmd();

private:
    WindowsHostSystem host;
    QTemporaryDir programs;
    QString startFolder;
    QStringList toStop;
};

void TestHostSystemWindows::initTestCase()
{
    startFolder = QDir::currentPath();
    // The test tunnel program answers to the name the layer looks for, on PATH.
    const QString source = QCoreApplication::applicationDirPath() + QStringLiteral("/testtunnel.exe");
    QVERIFY2(QFile::copy(source, programs.path() + QStringLiteral("/openvpn.exe")), qPrintable(source));
    qputenv("PATH", QDir::toNativeSeparators(programs.path()).toLocal8Bit() + ';' + qgetenv("PATH"));
    QVERIFY(findOpenVpnProgram().endsWith(QLatin1String("openvpn.exe"), Qt::CaseInsensitive));
}

void TestHostSystemWindows::cleanup()
{
    QDir::setCurrent(startFolder);
    // Whatever a failed case left running.
    for (const QString &id : toStop)
        QProcess::execute(QStringLiteral("taskkill"), {QStringLiteral("-PID"), id, QStringLiteral("-F"),
                                                       QStringLiteral("-T")});
    toStop.clear();
}

void TestHostSystemWindows::adaptersAreThoseOfIpHelper()
{
    const std::vector<AdapterInfo> adapters = host.adapters();
    const QMap<QString, QStringList> expected = adaptersByOtherCall();
    QCOMPARE(int(adapters.size()), expected.size());
    for (const AdapterInfo &adapter : adapters) {
        QVERIFY2(expected.contains(adapter.description), qPrintable(adapter.description));
        const QStringList addresses = expected.value(adapter.description);
        QCOMPARE(adapter.ipv4Addresses, addresses.isEmpty() ? QStringList{QStringLiteral("0.0.0.0")} : addresses);
    }
}

void TestHostSystemWindows::noTapNoCounter()
{
    for (const AdapterInfo &adapter : host.adapters())
        QVERIFY(!adapter.description.startsWith(QLatin1String("TAP")));
    QVERIFY(!host.tapSentBytes().has_value());
}

void TestHostSystemWindows::fingerprintFromWmicInOrder()
{
    const QStringList texts = host.hardwareTexts();
    QCOMPARE(texts.size(), 8);
    const char *const expected[][2] = {
        {"cpu", "Name"},           {"cpu", "NumberOfCores"}, {"cpu", "NumberOfLogicalProcessors"},
        {"cpu", "processorid"},    {"baseboard", "serialnumber"}, {"bios", "serialnumber"},
        {"csproduct", "uuid"},     {"diskdrive", "serialnumber"},
    };
    for (int i = 0; i < 8; ++i) {
        const QString property = QLatin1String(expected[i][1]);
        QCOMPARE(normaliseCommandOutput(texts.at(i).toLocal8Bit(), property),
                 runWmicHere(QLatin1String(expected[i][0]), property));
    }
    // Wine's wmic answers the processor's name: the set is not all empty.
    QVERIFY(!normaliseCommandOutput(texts.at(0).toLocal8Bit(), QStringLiteral("Name")).isEmpty());
    const QString fingerprint = hostFingerprint(texts);
    QVERIFY(QRegExp(QStringLiteral("[0-9a-f]{32}")).exactMatch(fingerprint));
    QVERIFY(fingerprint != QLatin1String("d41d8cd98f00b204e9800998ecf8427e"));
}

void TestHostSystemWindows::fingerprintWithoutWmicIsTheEmptyDigest()
{
    const QString wmic = QDir::fromNativeSeparators(systemProgram(QStringLiteral("wmic.exe")));
    QVERIFY(!wmic.isEmpty());
    const QString away = wmic + QStringLiteral(".away");
    QVERIFY(QFile::rename(wmic, away));
    const QStringList texts = host.hardwareTexts();
    QFile::rename(away, wmic);
    QCOMPARE(texts.size(), 8);
    for (const QString &text : texts)
        QVERIFY(text.isEmpty());
    QCOMPARE(hostFingerprint(texts), QStringLiteral("d41d8cd98f00b204e9800998ecf8427e"));
}

void TestHostSystemWindows::tunnelThroughCmdAndKilledWithItsTree()
{
    QTemporaryDir folder;
    const InFolder here(folder.path());
    QFile passwordFile(folder.path() + QStringLiteral("/management.pw"));
    QVERIFY(passwordFile.open(QIODevice::WriteOnly));
    passwordFile.write("s3cret\n");
    passwordFile.close();

    QProcess interpreter;
    const quint16 port = quint16(26000 + QCoreApplication::applicationPid() % 1000);
    const QByteArray line = host.startTunnelInterpreter(interpreter, QStringLiteral("A1B2"),
                                                        QStringLiteral("127.0.0.1"), port, passwordFile.fileName());
    QVERIFY(line.startsWith('"') && line.endsWith("\r\n"));
    QVERIFY(line.contains(" --config \"A1B2.ovpn\" --management 127.0.0.1 " + QByteArray::number(port) + ' '));
    QVERIFY(interpreter.waitForStarted());
    const QString interpreterId = QString::number(interpreter.processId());
    toStop << interpreterId;
    interpreter.write(line);
    interpreter.closeWriteChannel();

    std::optional<TreeIds> ids;
    QTRY_VERIFY_WITH_TIMEOUT((ids = readTreeIds(folder.path())).has_value(), 30000);
    const HANDLE tunnel = OpenProcess(SYNCHRONIZE, FALSE, ids->tunnel);
    const HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, ids->child);
    QVERIFY(tunnel && child);

    // The management port is the test tunnel's: it asks for the password from the file.
    QTcpSocket management;
    QTRY_VERIFY_WITH_TIMEOUT((management.abort(), management.connectToHost(QStringLiteral("127.0.0.1"), port),
                              management.waitForConnected(1000)),
                             30000);
    QTRY_COMPARE_WITH_TIMEOUT((management.waitForReadyRead(100), management.peek(64)), QByteArray("ENTER PASSWORD:"),
                              10000);
    // Wine's TCP table names no owner for a connection: an unknown owner proves nothing, and the
    // answer is "not the tunnel's". Windows names it, and the answer is "the tunnel's".
    const bool owned = host.tunnelOwnsConnection(interpreterId, management.localPort(), port);
    QCOMPARE(owned, !underWine());
    QVERIFY(!host.tunnelOwnsConnection(QStringLiteral("4242"), management.localPort(), port));

    host.killProcessTree(interpreterId);
    QVERIFY(hasEnded(tunnel));
    QVERIFY(hasEnded(child));
    QVERIFY(interpreter.waitForFinished(10000));
    CloseHandle(tunnel);
    CloseHandle(child);
    toStop.clear();
}

void TestHostSystemWindows::strayTunnelOfThisFolderOnly()
{
    // An interpreter of an earlier run: started here by the test, not by the layer.
    QTemporaryDir folder;
    std::optional<InFolder> here(folder.path());
    QFile passwordFile(folder.path() + QStringLiteral("/management.pw"));
    QVERIFY(passwordFile.open(QIODevice::WriteOnly));
    passwordFile.write("pw\n");
    passwordFile.close();
    QProcess earlier;
    earlier.start(systemProgram(QStringLiteral("cmd.exe")), QStringList());
    QVERIFY(earlier.waitForStarted());
    const QString earlierId = QString::number(earlier.processId());
    toStop << earlierId;
    const quint16 port = quint16(27000 + QCoreApplication::applicationPid() % 1000);
    earlier.write(windowsTunnelCommandLine(findOpenVpnProgram(), QStringLiteral("S1"), QStringLiteral("127.0.0.1"),
                                           port, passwordFile.fileName()));
    earlier.closeWriteChannel();
    std::optional<TreeIds> ids;
    QTRY_VERIFY_WITH_TIMEOUT((ids = readTreeIds(folder.path())).has_value(), 30000);
    const HANDLE tunnel = OpenProcess(SYNCHRONIZE, FALSE, ids->tunnel);
    QVERIFY(tunnel);

    // From another folder it is not this client's leftover; nor is it the layer's own to kill.
    QTemporaryDir elsewhere;
    {
        const InFolder there(elsewhere.path());
        host.stopStrayTunnel(earlierId);
        host.killProcessTree(earlierId);
    }
    QVERIFY(!hasEnded(tunnel));

    host.stopStrayTunnel(earlierId);
    QVERIFY(hasEnded(tunnel));
    QVERIFY(earlier.waitForFinished(10000));
    CloseHandle(tunnel);
    // The tunnel's own child is not of the command line kind: stop it by hand.
    QProcess::execute(QStringLiteral("taskkill"), {QStringLiteral("-PID"), QString::number(ids->child),
                                                   QStringLiteral("-F")});
    toStop.clear();
    here.reset();
}

void TestHostSystemWindows::ownerOnlyFilesAndFolders()
{
    QTemporaryDir folder;
    const QString logs = folder.path() + QStringLiteral("/LogFile");
    QVERIFY(OwnerOnly::makeFolder(logs));
    QVERIFY(host.isPrivateToUser(logs));
    const QString written = folder.path() + QStringLiteral("/A1.ovpn");
    QVERIFY(AtomicFile::replace(written, "client\n"));
    QVERIFY(host.isPrivateToUser(written));
    QFile check(written);
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("client\n"));
    QVERIFY(!host.isPrivateToUser(folder.path() + QStringLiteral("/missing")));

    // One entry each, for this user alone; the folder's is inherited by what is made inside. (Wine
    // adds one for SYSTEM, which may do anything anyway.)
    const QString user = currentUserSidText();
    QCOMPARE(withoutSystem(daclEntries(logs)), QStringList{QStringLiteral("0 %1 1f01ff 3").arg(user)});
    QCOMPARE(withoutSystem(daclEntries(written)), QStringList{QStringLiteral("0 %1 1f01ff 0").arg(user)});

    // Anyone else who may write makes it no longer private; reading alone does not.
    QVERIFY(grantEveryone(written, FILE_GENERIC_READ));
    QVERIFY(host.isPrivateToUser(written));
    QVERIFY(grantEveryone(written, FILE_GENERIC_READ | FILE_WRITE_DATA));
    QVERIFY(!host.isPrivateToUser(written));
    // Made private again, and the same for a folder.
    OwnerOnly::tightenFolder(folder.path());
    QVERIFY(host.isPrivateToUser(written));
    QVERIFY(grantEveryone(logs, GENERIC_ALL));
    QVERIFY(!host.isPrivateToUser(logs));
}

void TestHostSystemWindows::commandLineQuotingForCmd()
{
    QCOMPARE(windowsTunnelCommandLine(QString(), QStringLiteral("A1"), QStringLiteral("127.0.0.1"), 25341,
                                      QStringLiteral("C:/Temp/pw")),
             QByteArray("openvpn.exe --config \"A1.ovpn\" --management 127.0.0.1 25341 \"C:\\Temp\\pw\"\r\n"));
    // Inside double quotes cmd still expands %...% and ends the quote at ".
    QVERIFY(windowsTunnelCommandLine(QString(), QStringLiteral("A%PATH%"), QStringLiteral("127.0.0.1"), 1,
                                     QStringLiteral("C:/pw"))
                .isEmpty());
    QVERIFY(windowsTunnelCommandLine(QString(), QStringLiteral("A\" & calc"), QStringLiteral("127.0.0.1"), 1,
                                     QStringLiteral("C:/pw"))
                .isEmpty());
    QVERIFY(isWindowsTunnelCommandLine(QStringLiteral("\"C:\\Program Files\\OpenVPN\\bin\\OpenVPN.exe\" --config "
                                                      "\"A1.ovpn\" --management 127.0.0.1 25341 \"C:\\pw\"")));
    QVERIFY(!isWindowsTunnelCommandLine(QStringLiteral("notepad.exe --config A1.ovpn --management")));
    QVERIFY(!isWindowsTunnelCommandLine(QStringLiteral("openvpn.exe --config A1.conf --management")));
    QCOMPARE(fingerprintOrder({QStringLiteral("disk"), QStringLiteral("uuid"), QStringLiteral("bios"),
                               QStringLiteral("board"), QStringLiteral("id"), QStringLiteral("logical"),
                               QStringLiteral("cores"), QStringLiteral("name")}),
             (QStringList{QStringLiteral("name"), QStringLiteral("cores"), QStringLiteral("logical"),
                          QStringLiteral("id"), QStringLiteral("board"), QStringLiteral("bios"),
                          QStringLiteral("uuid"), QStringLiteral("disk")}));
}

QTEST_GUILESS_MAIN(TestHostSystemWindows)
#include "tst_hostsystem_windows.moc"
