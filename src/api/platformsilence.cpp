#include "api/platformsilence.h"

#include <QDebug>

bool PlatformSilence::answered(bool answered, const QString &failure)
{
    if (answered) {
        if (silent)
            qWarning().noquote() << QStringLiteral("平台恢复应答");
        silent = false;
        return true;
    }
    if (!silent)
        qWarning().noquote() << QStringLiteral("平台无应答，定时刷新和上报暂停：") + failure;
    silent = true;
    return false;
}
