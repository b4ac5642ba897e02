#include "desktop/commandline.h"

#include "desktop/diagnostics.h"
#include "desktop/singleinstance.h"
#include "desktop/versions.h"
#include "platform/fileidentity.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
// A running client may be inside a platform call; it gets this long to write the bundle.
constexpr int runningClientWaitMs = 60000;

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

// Qt's own options (QGuiApplication, QApplication, the xcb plug-in), with one or two dashes.
const char *const qtValueOptions[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                      "geometry", "qwindowicon", "icon", "qwindowtitle", "title", "session",
                                      "display", "name", "style", "stylesheet", "visual"};
const char *const qtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};

const char *qtOptionName(const char *argument)
{
    if (argument[0] != '-' || argument[1] == '\0')
        return nullptr;
    return argument[1] == '-' ? argument + 2 : argument + 1;
}

bool isOneOf(const char *name, const char *const *names, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (!std::strcmp(name, names[i]))
            return true;
    return false;
}

// The installed binary lives in <prefix>/bin, its manual in <prefix>/share/man/man1.
bool manualInstalled()
{
    const QString binary = QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
    if (binary.isEmpty())
        return false;
    const QString prefix = QFileInfo(binary).dir().absoluteFilePath(QStringLiteral(".."));
    for (const char *name : {"korvane-client.1.gz", "korvane-client.1"})
        if (QFileInfo::exists(prefix + QStringLiteral("/share/man/man1/") + QLatin1String(name)))
            return true;
    return false;
}

QString usageLine()
{
    return QStringLiteral("用法 / Usage: korvane-client [--diagnostics <文件.tar.gz> | --version | --help]\n");
}
} // namespace

QString helpText()
{
    QString text = QStringLiteral(
        "用法 / Usage: korvane-client [选项 / option]\n"
        "\n"
        "Korvane·设备接入灵途：登录 Korvane 平台，浏览网关和设备，经绑定的 TAP 建立到现场网关的通道。\n"
        "Korvane remote access: sign in to the Korvane platform, browse gateways and devices, and open a\n"
        "tunnel to your field gateways through the bound TAP.\n"
        "\n"
        "不带选项时打开登录窗口。客户端的文件（login.ini、TAPBOUND.ini、通道文件、LogFile/ 日志）保存在当前\n"
        "工作目录中；桌面菜单中的 korvane-launcher 先进入 ~/.local/share/korvane。每个目录同时只运行一个客户端，\n"
        "再次启动会切换到已打开的窗口。\n"
        "Without an option the login window opens. The client keeps its files in the current working\n"
        "directory; korvane-launcher (the desktop menu entry) changes to ~/.local/share/korvane first.\n"
        "One client runs per directory: starting it again brings the open window to the front.\n"
        "\n"
        "选项 / Options:\n"
        "  --diagnostics <文件.tar.gz>  导出诊断信息包：日志、通道程序日志、配置文件、版本、网卡、通道状态、\n"
        "                               时区；不含密码、令牌和 login.ini、TAPBOUND.ini、vpnconfig.ini\n"
        "                               write a diagnostics bundle for support (logs, tunnel log, profile,\n"
        "                               versions, adapters, tunnel state, time zone; no password or token)\n"
        "  --version                    显示版本 / print the versions\n"
        "  -h, --help                   显示本帮助 / print this help\n"
        "\n"
        "OpenVPN 需要创建 TUN 设备的权限（root 或 CAP_NET_ADMIN），见 README。\n"
        "OpenVPN needs the right to create a TUN device (root or CAP_NET_ADMIN); see the README.\n");
    if (manualInstalled())
        text += QStringLiteral("\n完整说明见手册 / the full manual: man korvane-client\n");
    return text;
}

std::optional<int> checkArguments(int argc, char *argv[], bool hasDisplay)
{
    bool platformGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        const char *name = qtOptionName(argument);
        if (name && (!std::strncmp(name, "qmljsdebugger=", 14) || !std::strncmp(name, "style=", 6) ||
                     !std::strncmp(name, "stylesheet=", 11) || isOneOf(name, qtFlagOptions, std::size(qtFlagOptions))))
            continue;
        if (name && isOneOf(name, qtValueOptions, std::size(qtValueOptions)) && i + 1 < argc) {
            platformGiven = platformGiven || !std::strcmp(name, "platform");
            ++i;
            continue;
        }
        const bool option = argument[0] == '-';
        print(stderr, QStringLiteral("korvane-client: %1: %2\n%3")
                          .arg(option ? QStringLiteral("未知选项 / unknown option")
                                      : QStringLiteral("多余的参数 / unexpected argument"),
                               QString::fromLocal8Bit(argument), usageLine() + QStringLiteral("详见 / see: korvane-client --help\n")));
        return 2;
    }
    if (!hasDisplay && !platformGiven) {
        print(stderr, QStringLiteral("korvane-client: 没有图形显示，请在桌面会话中启动 / no display: DISPLAY and "
                                     "WAYLAND_DISPLAY are not set\n"));
        return 1;
    }
    return std::nullopt;
}

QString versionText()
{
    QStringList lines{QStringLiteral("korvane-client ") + clientVersion()};
    for (const QString &line : componentVersions().mid(1))
        lines << line;
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

int exportDiagnosticsFromCommandLine(const QString &path)
{
    const QString target = QFileInfo(path).absoluteFilePath();
    const QString directory = QDir::currentPath();
    // The bundle is renamed into place, so a bundle written now is another file than whatever was
    // there before.
    const quint64 before = ownRegularFileIdentity(target);
    const std::optional<QByteArray> reply =
        SingleInstance::ask(directory, QByteArrayLiteral("diagnostics ") + target.toUtf8(), runningClientWaitMs);
    if (reply && reply->startsWith("ok")) {
        const quint64 after = ownRegularFileIdentity(target);
        if (after == 0 || after == before) {
            print(stderr,
                  QStringLiteral("诊断信息导出失败 / export failed: %1: 正在运行的客户端报告已写入，但没有写出该文件 / "
                                 "the running client reported it written, but did not write the file\n")
                      .arg(target));
            return 1;
        }
        print(stdout,
              QStringLiteral("诊断信息已由正在运行的客户端写入 / written by the running client: %1\n").arg(target));
        return 0;
    }
    if (reply && reply->startsWith("error ")) {
        print(stderr, QStringLiteral("诊断信息导出失败 / export failed: %1\n").arg(QString::fromUtf8(reply->mid(6))));
        return 1;
    }
    DiagnosticsRequest request;
    request.directory = directory;
    if (reply)
        request.tunnelState = QStringLiteral("a client runs in this directory but did not answer");
    const QString failure = writeDiagnosticsBundle(target, request);
    if (!failure.isEmpty()) {
        print(stderr, QStringLiteral("诊断信息导出失败 / export failed: %1: %2\n").arg(target, failure));
        return 1;
    }
    print(stdout, QStringLiteral("诊断信息已写入 / written: %1\n").arg(target));
    return 0;
}

std::optional<int> runCommandLine(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const char *argument = argv[i];
        if (!std::strcmp(argument, "--help") || !std::strcmp(argument, "-h")) {
            print(stdout, helpText());
            return 0;
        }
        if (!std::strcmp(argument, "--version")) {
            QCoreApplication application(argc, argv);
            print(stdout, versionText());
            return 0;
        }
        const bool joined = !std::strncmp(argument, "--diagnostics=", 14);
        if (joined || !std::strcmp(argument, "--diagnostics")) {
            const QString file = joined ? QString::fromLocal8Bit(argument + 14)
                                        : (i + 1 < argc ? QString::fromLocal8Bit(argv[i + 1]) : QString());
            if (file.isEmpty()) {
                print(stderr, QStringLiteral("--diagnostics 需要文件名 / needs a file name, e.g. "
                                             "korvane-client --diagnostics korvane.tar.gz\n"));
                return 2;
            }
            QCoreApplication application(argc, argv);
            return exportDiagnosticsFromCommandLine(file);
        }
    }
#ifdef Q_OS_WIN
    const bool hasDisplay = true; // a desktop session always has one
#else
    const bool hasDisplay = !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
                            !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
#endif
    return checkArguments(argc, argv, hasDisplay);
}
