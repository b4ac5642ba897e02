#include "tunnel/logic/managementendpoint.h"

namespace {
ManagementEndpoint &current()
{
    static ManagementEndpoint endpoint;
    return endpoint;
}
} // namespace

ManagementEndpoint managementEndpoint()
{
    return current();
}

void setManagementEndpoint(const ManagementEndpoint &endpoint)
{
    current() = endpoint;
}
