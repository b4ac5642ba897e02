#pragma once

#include <openssl/ssl.h>

namespace sim {

// A peer that goes away while a reply is written must not kill the process that hosts the
// simulator; a dropped-connection fault relies on it too.
void ignoreBrokenPipes();

// Closes the client's connection under cpp-httplib's feet: the client gets no reply at all.
void dropConnection(const SSL *connection);

} // namespace sim
