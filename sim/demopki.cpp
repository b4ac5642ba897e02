#include "sim/platformsimulator.h"

#include <cstddef>

// Generated at configure time from sim/pki (korvane_embed_file).
extern const unsigned char korvane_sim_demo_ca[];
extern const std::size_t korvane_sim_demo_ca_size;
extern const unsigned char korvane_sim_demo_server_cert[];
extern const std::size_t korvane_sim_demo_server_cert_size;
extern const unsigned char korvane_sim_demo_server_key[];
extern const std::size_t korvane_sim_demo_server_key_size;
extern const unsigned char korvane_sim_demo_vpn_ca[];
extern const std::size_t korvane_sim_demo_vpn_ca_size;

namespace sim {

namespace {

QByteArray embedded(const unsigned char *data, std::size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(size));
}

} // namespace

QByteArray demoCaPem()
{
    return embedded(korvane_sim_demo_ca, korvane_sim_demo_ca_size);
}

QByteArray demoServerCertificatePem()
{
    return embedded(korvane_sim_demo_server_cert, korvane_sim_demo_server_cert_size);
}

QByteArray demoServerKeyPem()
{
    return embedded(korvane_sim_demo_server_key, korvane_sim_demo_server_key_size);
}

QByteArray demoTunnelCaPem()
{
    return embedded(korvane_sim_demo_vpn_ca, korvane_sim_demo_vpn_ca_size);
}

} // namespace sim
