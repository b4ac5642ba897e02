#include "desktop/tunnelnotices.h"

std::optional<TunnelNotice> tunnelNoticeFor(TunnelEvent event, const TunnelStatus &status)
{
    const QString tap = status.tapSerial;
    switch (event) {
    case TunnelEvent::Connected:
        if (status.attempt > 0)
            return TunnelNotice{QStringLiteral("通道重连成功"),
                                QStringLiteral("TAP %1 的通道经过 %2 次尝试已重新连接。").arg(tap).arg(status.attempt)};
        return TunnelNotice{QStringLiteral("通道已连接"), QStringLiteral("TAP %1 的通道已建立。").arg(tap)};
    case TunnelEvent::Dropped:
        return TunnelNotice{QStringLiteral("通道已断开"), QStringLiteral("TAP %1 的通道连接中断。").arg(tap)};
    case TunnelEvent::RestartRequested:
        return TunnelNotice{QStringLiteral("已请求重启远端"),
                            QStringLiteral("TAP %1 的通道多次重连失败，已请求平台重启远端。").arg(tap)};
    case TunnelEvent::ConnectTimeout:
        return TunnelNotice{QStringLiteral("通道连接超时"),
                            QStringLiteral("TAP %1 的通道在 30 秒内没有建立。").arg(tap)};
    case TunnelEvent::Launching:
    case TunnelEvent::ReconnectAttempt:
    case TunnelEvent::SwitchedOff:
    case TunnelEvent::Down:
        break;
    }
    return std::nullopt;
}
