#include "tunnel/logic/startfailure.h"

TunnelStartFailure judgeTunnelStartFailure(const QByteArray &output)
{
    // dash says "openvpn: not found", bash "openvpn: command not found".
    if (output.contains("openvpn: not found") || output.contains("openvpn: command not found"))
        return TunnelStartFailure::ProgramMissing;
    // cmd.exe when openvpn.exe is neither installed nor on PATH: "'openvpn.exe' is not recognized as
    // an internal or external command" (English Windows), "'openvpn.exe' 不是内部或外部命令" (Chinese
    // Windows, in the console's code page GBK), "Can't recognize 'openvpn.exe …' as an internal or
    // external command" (Wine).
    static const QByteArray notACommandGbk = QByteArrayLiteral("\xb2\xbb\xca\xc7\xc4\xda\xb2\xbf\xbb\xf2\xcd\xe2\xb2\xbf\xc3\xfc\xc1\xee");
    if (output.contains("openvpn.exe") &&
        (output.contains("internal or external command") || output.contains(notACommandGbk) ||
         output.contains("不是内部或外部命令")))
        return TunnelStartFailure::ProgramMissing;
    // Without CAP_NET_ADMIN: "ERROR: Cannot ioctl TUNSETIFF korvane0: Operation not permitted" or
    // "Cannot open TUN/TAP dev /dev/net/tun: Operation not permitted".
    if (output.contains("Cannot open TUN/TAP dev") ||
        (output.contains("TUNSETIFF") && output.contains("Operation not permitted")))
        return TunnelStartFailure::NoTunRights;
    // "MANAGEMENT: Socket bind failed on local address [AF_INET]127.0.0.1:25341: Address already in use"
    if (output.contains("MANAGEMENT: Socket bind failed") && output.contains("Address already in use"))
        return TunnelStartFailure::PortTaken;
    return TunnelStartFailure::None;
}

QString tunnelStartFailureText(TunnelStartFailure failure)
{
    switch (failure) {
    case TunnelStartFailure::ProgramMissing:
        return QStringLiteral("未找到通道程序OpenVPN，请先安装OpenVPN后重试");
    case TunnelStartFailure::NoTunRights:
        return QStringLiteral("OpenVPN没有创建虚拟网卡的权限，请以root身份运行，或为OpenVPN授予网络管理权限（CAP_NET_ADMIN）");
    case TunnelStartFailure::PortTaken:
        return managementFailureText(ManagementFailure::PortTaken, 25341);
    case TunnelStartFailure::None:
        break;
    }
    return QString();
}

QString managementFailureText(ManagementFailure failure, quint16 port)
{
    switch (failure) {
    case ManagementFailure::PortTaken:
        return QStringLiteral("通道管理端口%1已被其他程序占用，通道未启动").arg(port);
    case ManagementFailure::ProgramEnded:
        return QStringLiteral("通道程序OpenVPN已退出，通道未启动，详见logs/openvpn.log");
    case ManagementFailure::NoAnswer:
        return QStringLiteral("通道程序OpenVPN无应答，通道未启动");
    }
    return QString();
}
