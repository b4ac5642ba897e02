#pragma once

#include "sim/world.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The demo's far end: an OpenVPN server in a private network namespace joined to the host by a
// veth pair, with the customers' field networks behind it. Every address comes from one /16
// (default 10.231.0.0/16, scripts/demo takes KORVANE_DEMO_NET):
//
//   a.b.0.1/30     the host's end of the veth pair       a.b.0.2/30   the far end (OpenVPN server)
//   a.b.1.0/24     tunnel addresses of TCP clients       a.b.2.0/24   those of UDP clients
//   a.b.128.0/17   field networks, pushed as a route: site k (k-th gateway with a virtual network)
//                  has a.b.(128+k).0/24, its device j answers at a.b.(128+k).(10+j)
namespace sim {

struct FarEnd {
    quint32 base = 0; // a.b.0.0, host order
    quint16 port = 1194;

    QString hostAddress() const;
    QString serverAddress() const;
    QString tcpPool() const;
    QString udpPool() const;
    QString fieldNetwork() const; // "a.b.128.0"
    static constexpr int linkPrefix = 30;
    static constexpr int fieldPrefix = 17;
    QString address(int third, int fourth) const;
};

// "a.b.0.0/16" with a network usable for private addressing (not loopback, link-local, multicast
// or reserved); nullopt otherwise.
std::optional<FarEnd> parseFarEnd(const QString &network);

// Points every TAP at the far end (TAP-DEMO-0001 over TCP, the others over UDP), makes its CA the
// one getDownload hands out and moves the sites' virtual networks and devices into the field
// networks, so that the device table shows the addresses that answer through the tunnel.
void joinFarEnd(World &world, const FarEnd &farEnd);

// The layout as shell assignments (KV_HOST_ADDR=..., one a line) for scripts/demo-far-end.
QByteArray farEndShellLayout(const FarEnd &farEnd);

// Whether a TAP that may log in has exactly this serial and password: the far end's check of a
// tunnel user, as the platform does it.
bool isTapLogin(const World &world, const QByteArray &serial, const QByteArray &password);

} // namespace sim
