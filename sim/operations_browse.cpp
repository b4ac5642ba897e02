#include "sim/operations.h"

#include <QStringList>

// The gateway list, site records, device lists and the online look-ups.
namespace sim {

namespace {

bool contains(const QString &text, const QString &part)
{
    return part.isEmpty() || text.contains(part, Qt::CaseInsensitive);
}

QStringList listValue(const RecordedRequest &request, const QString &key)
{
    return request.value(key).split(QLatin1Char(','), Qt::SkipEmptyParts);
}

} // namespace

Reply gatewayPage(const World &world, int customerId, const QString &serialPart, const QString &namePart,
                  const QString &sitePart, int size, int index)
{
    QVector<const Gateway *> matches;
    for (const Gateway &g : world.gateways) {
        if (g.customerId == customerId && contains(g.gatewaySn, serialPart) && contains(g.gatewayName, namePart) &&
            contains(g.site.siteName, sitePart))
            matches.append(&g);
    }
    const PageSlice slice = pageSlice(matches.size(), size, index);
    cJSON *rows = cJSON_CreateArray();
    for (int i = slice.first; i < slice.last; ++i)
        cJSON_AddItemToArray(rows, gatewayRow(*matches.at(i)));
    return jsonReply(pageDocument(size, matches.size(), index, rows));
}

Reply gatewayVagueFind(SimState &state, const Session &session, const RecordedRequest &request)
{
    return gatewayPage(state.world, session.customerId, request.value(QStringLiteral("gatewaySn")),
                       request.value(QStringLiteral("gatewayName")), request.value(QStringLiteral("siteName")),
                       intValue(request, QStringLiteral("size"), 30), intValue(request, QStringLiteral("index"), 1));
}

Reply getSiteInfo(SimState &state, const Session &, const RecordedRequest &request)
{
    const Gateway *gateway = state.world.findGateway(request.value(QStringLiteral("gatewaySn")));
    if (!gateway)
        return codeReply(UnknownSerial);
    JsonPtr document = codeDocument(Success);
    cJSON_AddItemToObject(document.get(), "data", siteRecord(*gateway));
    return jsonReply(document);
}

Reply devicesList(SimState &state, const Session &, const RecordedRequest &request)
{
    const Gateway *gateway = state.world.findGateway(request.value(QStringLiteral("gatewaySn")));
    if (!gateway)
        return codeReply(UnknownSerial);
    const int size = intValue(request, QStringLiteral("size"), 25);
    const int index = intValue(request, QStringLiteral("index"), 1);
    const PageSlice slice = pageSlice(gateway->devices.size(), size, index);
    cJSON *rows = cJSON_CreateArray();
    for (int i = slice.first; i < slice.last; ++i)
        cJSON_AddItemToArray(rows, deviceRow(gateway->devices.at(i)));
    return jsonReply(pageDocument(size, gateway->devices.size(), index, rows));
}

Reply gatewayBatchFind(SimState &state, const Session &, const RecordedRequest &request)
{
    JsonPtr document = codeDocument(Success);
    cJSON *rows = cJSON_AddArrayToObject(document.get(), "data");
    for (const QString &serial : listValue(request, QStringLiteral("gatewaySn"))) {
        if (const Gateway *gateway = state.world.findGateway(serial)) {
            cJSON *row = cJSON_CreateObject();
            addText(row, "gatewaySn", gateway->gatewaySn);
            cJSON_AddNumberToObject(row, "tunnelOnline", gateway->tunnelOnline);
            cJSON_AddNumberToObject(row, "gatewayOnline", gateway->gatewayOnline);
            cJSON_AddItemToArray(rows, row);
        }
    }
    return jsonReply(document);
}

Reply devicesBatchFind(SimState &state, const Session &, const RecordedRequest &request)
{
    JsonPtr document = codeDocument(Success);
    cJSON *rows = cJSON_AddArrayToObject(document.get(), "data");
    for (const QString &id : listValue(request, QStringLiteral("ids"))) {
        bool ok = false;
        const int deviceId = id.trimmed().toInt(&ok);
        if (const Device *device = ok ? state.world.findDevice(deviceId) : nullptr) {
            cJSON *row = cJSON_CreateObject();
            cJSON_AddNumberToObject(row, "deviceId", device->deviceId);
            cJSON_AddNumberToObject(row, "deviceOnline", device->deviceOnline);
            cJSON_AddItemToArray(rows, row);
        }
    }
    return jsonReply(document);
}

} // namespace sim
