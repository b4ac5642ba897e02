#pragma once

#include <QIcon>
#include <QPixmap>

// The tunnel's status picture on the center-site page and the icon of its switch.
inline QPixmap tunnelPicture(bool online)
{
    return QPixmap(online ? QStringLiteral(":/image/VPN_ON.png") : QStringLiteral(":/image/VPN_OFF.png"));
}

inline QIcon tunnelSwitchIcon(bool on)
{
    return QIcon(on ? QStringLiteral(":/image/开.png") : QStringLiteral(":/image/关.png"));
}
