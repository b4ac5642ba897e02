#include "api/platformendpoint.h"

#include <cstddef>

// Generated at configure time from the configured CA (size 0: system trust store).
extern const unsigned char korvane_platform_ca[];
extern const std::size_t korvane_platform_ca_size;

namespace {

PlatformEndpoint &currentEndpoint()
{
    static PlatformEndpoint endpoint = builtInPlatformEndpoint();
    return endpoint;
}

} // namespace

const PlatformEndpoint &platformEndpoint()
{
    return currentEndpoint();
}

void installPlatformEndpoint(const PlatformEndpoint &endpoint)
{
    currentEndpoint() = endpoint;
}

PlatformEndpoint builtInPlatformEndpoint()
{
    PlatformEndpoint endpoint;
    endpoint.baseUrl = QByteArray(KORVANE_PLATFORM_URL);
    while (endpoint.baseUrl.endsWith('/'))
        endpoint.baseUrl.chop(1);
    endpoint.caPem = QByteArray(reinterpret_cast<const char *>(korvane_platform_ca),
                                static_cast<int>(korvane_platform_ca_size));
    return endpoint;
}
