#pragma once

#include <QByteArray>
#include <memory>
#include <openssl/evp.h>
#include <openssl/x509.h>
#include <optional>
#include <vector>

// The server's certificate, its chain and its private key, read from PEM in memory.
namespace sim {

struct X509Deleter {
    void operator()(X509 *certificate) const { X509_free(certificate); }
};
struct EvpKeyDeleter {
    void operator()(EVP_PKEY *key) const { EVP_PKEY_free(key); }
};
using X509Ptr = std::unique_ptr<X509, X509Deleter>;
using EvpKeyPtr = std::unique_ptr<EVP_PKEY, EvpKeyDeleter>;

struct TlsIdentity {
    X509Ptr certificate;        // the first certificate of the PEM
    std::vector<X509Ptr> chain; // the ones after it
    EvpKeyPtr key;
};

std::optional<TlsIdentity> loadTlsIdentity(const QByteArray &certificatePem, const QByteArray &privateKeyPem);

} // namespace sim
