#include "api/platformcall.h"

PlatformReply callPlatform(const PlatformRequest &request)
{
    PlatformReply reply;
    reply.body = platformExchange(request, &reply.failure);
    if (reply.body) {
        reply.document = JsonDocument::parse(*reply.body);
        reply.code = replyCode(reply.document);
    }
    return reply;
}
