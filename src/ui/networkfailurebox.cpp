#include "ui/networkfailurebox.h"

#include "ui/messageboxes.h"

void showNetworkFailureBox()
{
    MessageBoxes::critical(nullptr, QStringLiteral("错误"), QStringLiteral("网络连接失败，请检测您的网络状态后重试"));
}
