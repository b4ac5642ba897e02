#include "sim/tlsidentity.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>

namespace sim {

namespace {

struct BioDeleter {
    void operator()(BIO *bio) const { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioDeleter>;

BioPtr memoryBio(const QByteArray &pem)
{
    return BioPtr(BIO_new_mem_buf(pem.constData(), pem.size()));
}

} // namespace

std::optional<TlsIdentity> loadTlsIdentity(const QByteArray &certificatePem, const QByteArray &privateKeyPem)
{
    TlsIdentity identity;
    BioPtr certificates = memoryBio(certificatePem);
    BioPtr key = memoryBio(privateKeyPem);
    if (!certificates || !key)
        return std::nullopt;
    identity.certificate.reset(PEM_read_bio_X509(certificates.get(), nullptr, nullptr, nullptr));
    while (X509 *next = PEM_read_bio_X509(certificates.get(), nullptr, nullptr, nullptr))
        identity.chain.emplace_back(next);
    identity.key.reset(PEM_read_bio_PrivateKey(key.get(), nullptr, nullptr, nullptr));
    ERR_clear_error(); // the end of the chain leaves a "no start line" error behind
    if (!identity.certificate || !identity.key)
        return std::nullopt;
    return identity;
}

} // namespace sim
