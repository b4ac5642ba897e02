#include "tunnel/logic/failureadvice.h"

#include <QList>
#include <QRegularExpression>

namespace {
constexpr int shownLineLimit = 200;

struct Cause {
    const char *marker; // as OpenVPN writes it
    const char *advice;
};

// In order of precedence when one line holds several markers.
const Cause causes[] = {
    {"AUTH_FAILED", "TAP序列号或密码未被服务器接受：请在用户设置中解除绑定，再用正确的密码重新绑定。"},
    {"Connection refused", "服务器拒绝了连接：请确认现场网关的通道服务已启动，稍后重试。"},
    {"TLS handshake failed", "TLS握手失败：网络可能拦截了连接，或证书不匹配；请检查网络（防火墙、代理）后重试。"},
    {"TLS key negotiation failed", "TLS握手失败：网络可能拦截了连接，或证书不匹配；请检查网络（防火墙、代理）后重试。"},
    {"VERIFY ERROR", "服务器证书校验失败：请联系管理员核对平台证书。"},
    {"Cannot resolve host", "无法解析服务器地址：请检查DNS和网络连接。"},
    {"Network is unreachable", "网络不可达：请检查网络连接和路由。"},
    {"Connection timed out", "连接超时：请检查网络连接和防火墙。"},
    {"Cannot open TUN/TAP dev", nullptr},
    {"Operation not permitted", nullptr},
};

const Cause *causeOf(const QByteArray &line)
{
    for (const Cause &cause : causes)
        if (line.contains(cause.marker))
            return &cause;
    return nullptr;
}

// "2026-12-09 05:00:00 " (log-append with a recent OpenVPN) or "Wed Dec  9 05:00:00 2026 ".
QString withoutTimeStamp(const QString &line)
{
    static const QRegularExpression stamp(QStringLiteral(
        "^(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d(\\.\\d+)? |\\w{3} \\w{3} +\\d+ \\d\\d:\\d\\d:\\d\\d \\d{4} )"));
    QString text = line;
    text.remove(stamp);
    return text.trimmed().left(shownLineLimit);
}

QByteArray lastErrorLine(const QByteArray &logText)
{
    const QList<QByteArray> lines = logText.split('\n');
    for (auto it = lines.crbegin(); it != lines.crend(); ++it)
        if (causeOf(*it))
            return *it;
    return {};
}
} // namespace

QString lastTunnelError(const QByteArray &logText)
{
    const QByteArray line = lastErrorLine(logText);
    return line.isEmpty() ? QString() : withoutTimeStamp(QString::fromUtf8(line));
}

QString connectTimeoutAdvice(const QByteArray &logText)
{
    const QByteArray line = lastErrorLine(logText);
    if (line.isEmpty())
        return QStringLiteral("OpenVPN没有报告错误：服务器可能无应答。请检查网络后重试，详见logs/openvpn.log"
                              "（托盘菜单或用户设置中的“查看日志”）。");
    const Cause *cause = causeOf(line);
    const QString advice = cause->advice ? QString::fromUtf8(cause->advice) : tunRightsAdvice();
    return QStringLiteral("OpenVPN：") + withoutTimeStamp(QString::fromUtf8(line)) + QLatin1Char('\n') + advice;
}

QString tunRightsAdvice()
{
    return QStringLiteral("当前用户没有创建TUN虚拟网卡的权限。两种办法任选其一：\n"
                          "1. 以root身份运行客户端；\n"
                          "2. 为OpenVPN授予网络管理权限（一次即可）：\n"
                          "   sudo setcap cap_net_admin+ep \"$(command -v openvpn)\"");
}
