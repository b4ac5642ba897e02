#include "desktop/commandline.h"

#include "desktop/diagnostics.h"
#include "desktop/singleinstance.h"
#include "desktop/versions.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// A running client may be inside a platform call; it gets this long to write the bundle.
constexpr int runningClientWaitMs = 60000;

// The identity of this user's regular file at path (0: none). The bundle is renamed into place,
// so a bundle written now is another file than whatever was there before.
ino_t ownRegularFile(const QString &path)
{
    struct stat status {};
    const bool own = ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode) &&
                     status.st_uid == ::geteuid();
    return own ? status.st_ino : 0;
}

void print(FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}
} // namespace

QString helpText()
{
    return QStringLiteral(
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
    const ino_t before = ownRegularFile(target);
    const std::optional<QByteArray> reply =
        SingleInstance::ask(directory, QByteArrayLiteral("diagnostics ") + target.toUtf8(), runningClientWaitMs);
    if (reply && reply->startsWith("ok")) {
        const ino_t after = ownRegularFile(target);
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
    return std::nullopt;
}
