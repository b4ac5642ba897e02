#include "sim/devicepages.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <chrono>
#include <httplib.h>
#include <thread>

namespace sim {

namespace {

const char *const classNames[] = {"通用", "PLC", "摄像头", "仪表", "IO模块", "机床", "机器人"};

QByteArray escaped(const QString &text)
{
    return text.toHtmlEscaped().toUtf8();
}

QByteArray row(const char *label, const QString &value, const char *id = nullptr)
{
    const QByteArray idAttribute = id ? QByteArray(" id=\"") + id + '"' : QByteArray();
    return QByteArray("<tr><th>") + label + "</th><td" + idAttribute + '>' + escaped(value) + "</td></tr>\n";
}

QByteArray pageFrame(const QString &title, const QByteArray &body)
{
    return "<!DOCTYPE html>\n<html lang=\"zh\"><head><meta charset=\"utf-8\">"
           "<meta http-equiv=\"refresh\" content=\"2\"><title>" +
           escaped(title) +
           "</title><style>body{font-family:sans-serif;margin:2em;color:#222;background:#f0f0f0}"
           "h1{color:#0b3d91}table{background:#fff;border-collapse:collapse}"
           "th,td{padding:.4em 1em;border-bottom:1px solid #ddd;text-align:left}"
           ".on{color:#2eb872}.off{color:#d9534f}</style></head><body>\n" +
           body + "</body></html>\n";
}

} // namespace

DevicePage devicePage(const World &world, const QString &address, const QDateTime &started, const QDateTime &now,
                      int requests)
{
    for (const Gateway &gateway : world.gateways) {
        for (const Device &device : gateway.devices) {
            if (device.virtualIp != address)
                continue;
            DevicePage page;
            const bool online = gateway.gatewayOnline && device.deviceOnline;
            QByteArray body = "<h1>" + escaped(device.deviceName) + "</h1>\n<p>" + escaped(gateway.site.siteName) +
                              " &middot; " + escaped(gateway.gatewayName) + " (" + escaped(gateway.gatewaySn) +
                              ")</p>\n<table>\n";
            body += row("设备类型 class", QString::fromUtf8(classNames[qBound(0, device.deviceClassify, 6)]));
            body += row("虚拟地址 virtual address", device.virtualIp);
            body += row("现场地址 field address", device.realIp);
            if (!online) {
                body += "</table>\n<p class=\"off\">设备离线 The device is offline.</p>\n";
                page.httpStatus = 503;
                page.html = pageFrame(device.deviceName, body);
                return page;
            }
            body += row("计数 counter", QString::number(started.secsTo(now)), "counter");
            body += row("时间 time", now.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), "time");
            body += row("访问 requests", QString::number(requests), "requests");
            body += "</table>\n<p class=\"on\">在线 Online: this page came through the Korvane tunnel.</p>\n";
            page.html = pageFrame(device.deviceName, body);
            return page;
        }
    }
    DevicePage page;
    page.httpStatus = 404;
    page.html = pageFrame(address, "<h1>" + escaped(address) + "</h1>\n<p>No device of the demo world here.</p>\n");
    return page;
}

struct DevicePageServer::Impl {
    World world;
    QDateTime started = QDateTime::currentDateTime();
    QMutex mutex;
    QHash<QString, int> requests;
    httplib::Server server;
    std::thread listener;
    int port = 0;
};

DevicePageServer::DevicePageServer(World world) : d(std::make_unique<Impl>())
{
    d->world = std::move(world);
}

DevicePageServer::~DevicePageServer()
{
    stop();
}

bool DevicePageServer::start(const QString &host, int port)
{
    Impl *impl = d.get();
    impl->server.Get(".*", [impl](const httplib::Request &request, httplib::Response &response) {
        const QString address = QString::fromStdString(request.local_addr);
        int count = 0;
        {
            QMutexLocker locker(&impl->mutex);
            count = ++impl->requests[address];
        }
        const DevicePage page = devicePage(impl->world, address, impl->started, QDateTime::currentDateTime(), count);
        response.status = page.httpStatus;
        response.set_content(page.html.constData(), std::size_t(page.html.size()), "text/html; charset=utf-8");
    });
    impl->server.set_keep_alive_timeout(1);
    const std::string address = host.toStdString();
    const int bound = port == 0 ? impl->server.bind_to_any_port(address)
                                : (impl->server.bind_to_port(address, port) ? port : -1);
    if (bound <= 0)
        return false;
    impl->listener = std::thread([impl] { impl->server.listen_after_bind(); });
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!impl->server.is_running() && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    impl->port = bound;
    return impl->server.is_running();
}

void DevicePageServer::stop()
{
    if (!d->listener.joinable())
        return;
    d->server.stop();
    d->listener.join();
}

int DevicePageServer::port() const
{
    return d->port;
}

} // namespace sim
