#include "sim/operations.h"

#include <QRandomGenerator>

// Sign-in, TAP binding and tunnel provisioning.
namespace sim {

namespace {

QByteArray freshToken()
{
    QByteArray raw(16, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32 *>(raw.data()), raw.size() / 4);
    return raw.toHex();
}

} // namespace

Reply getLintraToken(SimState &state, const RecordedRequest &request)
{
    const Account *account = state.world.findAccount(request.value(QStringLiteral("userName")));
    if (!account || account->passWord != request.value(QStringLiteral("passWord")))
        return codeReply(BadCredentials);
    const QByteArray token = freshToken();
    state.sessions.insert(token, Session{account->userName, account->customerId, true});
    JsonPtr document = codeDocument(Success);
    cJSON *data = cJSON_AddObjectToObject(document.get(), "data");
    cJSON_AddStringToObject(data, "token", token.constData());
    return jsonReply(document);
}

Reply tapAuthLogin(SimState &state, const Session &, const RecordedRequest &request)
{
    Tap *tap = state.world.findTap(request.value(QStringLiteral("gatewaySn")));
    if (!tap)
        return codeReply(UnknownSerial);
    if (!tap->loginAllowed)
        return codeReply(LoginRefused);
    if (tap->passWord != request.value(QStringLiteral("passWord")))
        return codeReply(BadCredentials);
    const QString fingerprint = request.value(QStringLiteral("localip"));
    if (!tap->boundFingerprint.isEmpty() && tap->boundFingerprint != fingerprint)
        return codeReply(LoggedInElsewhere);
    tap->boundFingerprint = fingerprint;
    return gatewayPage(state.world, tap->customerId, QString(), QString(), QString(),
                       intValue(request, QStringLiteral("size"), 30), intValue(request, QStringLiteral("index"), 1));
}

Reply updateTapAuth(SimState &state, const Session &, const RecordedRequest &request)
{
    Tap *tap = state.world.findTap(request.value(QStringLiteral("gatewaySn")));
    if (!tap)
        return codeReply(UnknownSerial);
    tap->boundFingerprint.clear();
    return codeReply(Success);
}

Reply getCustomerInfo(SimState &state, const Session &, const RecordedRequest &request)
{
    const Customer *customer = state.world.findCustomer(intValue(request, QStringLiteral("customerId"), -1));
    if (!customer)
        return codeReply(UnknownRecord);
    JsonPtr document = codeDocument(Success);
    cJSON *data = cJSON_AddObjectToObject(document.get(), "data");
    cJSON_AddNumberToObject(data, "customerId", customer->customerId);
    addText(data, "customerName", customer->name);
    cJSON_AddNumberToObject(data, "enabled", customer->enabled);
    return jsonReply(document);
}

Reply getConfigParam(SimState &state, const Session &, const RecordedRequest &request)
{
    const Tap *tap = state.world.findTap(request.value(QStringLiteral("gatewaySn")));
    if (!tap)
        return codeReply(UnknownSerial);
    if (tap->passWord != request.value(QStringLiteral("passWord")))
        return codeReply(BadCredentials);
    JsonPtr document = codeDocument(Success);
    cJSON *data = cJSON_AddObjectToObject(document.get(), "data");
    cJSON_AddNumberToObject(data, "port", tap->tunnelPort);
    addText(data, "ip", tap->tunnelIp);
    addText(data, "requestWay", tap->requestWay);
    return jsonReply(document);
}

Reply getDownload(SimState &state, const Session &, const RecordedRequest &)
{
    return textReply(state.world.caCertificatePem);
}

Reply clientRestartProject(SimState &, const Session &, const RecordedRequest &)
{
    return codeReply(Success);
}

} // namespace sim
