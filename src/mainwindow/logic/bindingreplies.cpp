#include "mainwindow/logic/bindingreplies.h"

#include "api/platformreply.h"

std::optional<BindingMessage> manualBindingMessage(bool answered, std::optional<int> code)
{
    const QString loginFailed = QStringLiteral("登录失败");
    if (!answered)
        return BindingMessage{QStringLiteral("绑定失败"), QStringLiteral("服务器验证失败，请稍后重试"),
                              QStringLiteral("TAP绑定失败，网络连接错误")};
    if (!code)
        return std::nullopt;
    switch (*code) {
    case ReplyCode::CredentialsRejected:
        return BindingMessage{loginFailed, QStringLiteral("序列号与密码不匹配"), QStringLiteral("登录序列号与密码不匹配")};
    case ReplyCode::SessionExpired:
        return BindingMessage{loginFailed, QStringLiteral("请求失效，请重试"), QString()};
    case ReplyCode::LoggedInElsewhere:
        return BindingMessage{loginFailed, QStringLiteral("该网关序列号已在别处登录"), QStringLiteral("网关序列号异地登录")};
    case ReplyCode::LoginNotAllowed:
        return BindingMessage{loginFailed, QStringLiteral("该序列号不能做登录操作"), QStringLiteral("序列号不能做登录操作")};
    case ReplyCode::SerialUnknown:
        return BindingMessage{loginFailed, QStringLiteral("该序列号不存在"), QStringLiteral("登录该序列号不存在")};
    default:
        return std::nullopt;
    }
}

std::optional<BindingMessage> automaticBindingMessage(int code)
{
    const QString notice = QStringLiteral("提示");
    switch (code) {
    case ReplyCode::CredentialsRejected:
        return BindingMessage{notice, QStringLiteral("您绑定的TAP密码或更改，请重新绑定"),
                              QStringLiteral("error:10001 自动绑定TAP失败，账号密码不匹配")};
    case ReplyCode::SessionExpired:
        return BindingMessage{notice, QStringLiteral("请求失效，请重试"),
                              QStringLiteral("error:10002 自动绑定TAP失败，Token已失效")};
    case ReplyCode::LoggedInElsewhere:
        return BindingMessage{notice, QStringLiteral("您绑定的TAP已在别处绑定登录"),
                              QStringLiteral("error:10003 自动绑定TAP失败，TAP已在异地登录")};
    default:
        return std::nullopt;
    }
}

bool bindingRefusedByPlatform(bool answered, std::optional<int> code)
{
    return answered && code && *code != ReplyCode::Success && *code != ReplyCode::SessionExpired;
}
