#include "tunnel/logic/startfailure.h"

TunnelStartFailure judgeTunnelStartFailure(const QByteArray &output)
{
    // dash says "openvpn: not found", bash "openvpn: command not found".
    if (output.contains("openvpn: not found") || output.contains("openvpn: command not found"))
        return TunnelStartFailure::ProgramMissing;
    // Without CAP_NET_ADMIN: "ERROR: Cannot ioctl TUNSETIFF korvane0: Operation not permitted" or
    // "Cannot open TUN/TAP dev /dev/net/tun: Operation not permitted".
    if (output.contains("Cannot open TUN/TAP dev") ||
        (output.contains("TUNSETIFF") && output.contains("Operation not permitted")))
        return TunnelStartFailure::NoTunRights;
    return TunnelStartFailure::None;
}

QString tunnelStartFailureText(TunnelStartFailure failure)
{
    switch (failure) {
    case TunnelStartFailure::ProgramMissing:
        return QStringLiteral("未找到通道程序OpenVPN，请先安装OpenVPN后重试");
    case TunnelStartFailure::NoTunRights:
        return QStringLiteral("OpenVPN没有创建虚拟网卡的权限，请以root身份运行，或为OpenVPN授予网络管理权限（CAP_NET_ADMIN）");
    case TunnelStartFailure::None:
        break;
    }
    return QString();
}
