#include "api/platformexchange.h"

#include "api/curllibrary.h"
#include "api/exchangewait.h"
#include "api/platformendpoint.h"

#include <memory>

namespace {

struct CurlEasyDeleter {
    void operator()(CURL *handle) const { curlLibrary()->easy_cleanup(handle); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist *list) const { curlLibrary()->slist_free_all(list); }
};
using CurlEasy = std::unique_ptr<CURL, CurlEasyDeleter>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistDeleter>;

// Appends every chunk; answering anything but the full size aborts the transfer.
size_t appendChunk(char *data, size_t size, size_t count, void *userData)
{
    auto *buffer = static_cast<QByteArray *>(userData);
    if (!buffer)
        return 0;
    const size_t bytes = size * count;
    if (bytes > static_cast<size_t>(MaxReplyBytes - buffer->size()))
        return 0;
    buffer->append(data, static_cast<int>(bytes));
    return bytes;
}

// Called by libcurl about once a second and on every progress: a non-zero answer aborts the transfer.
int abortWhenTold(void *abortFlag, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const ExchangeWait::AbortFlag *>(abortFlag)->load() ? 1 : 0;
}

struct TransferOutcome {
    std::optional<QByteArray> body;
    QString failure;
};

TransferOutcome failed(const QString &reason)
{
    TransferOutcome outcome;
    outcome.failure = reason;
    return outcome;
}

TransferOutcome transfer(const PlatformRequest &request, const PlatformEndpoint &endpoint,
                         const ExchangeWait::AbortFlag &abort);

ExchangeActivityHook activityHook = nullptr;

// Tells the hook of the exchange's begin and, whichever way it returns, of its end.
class ExchangeActivity {
public:
    ExchangeActivity() : hook(activityHook)
    {
        if (hook)
            hook(true);
    }
    ~ExchangeActivity()
    {
        if (hook)
            hook(false);
    }
    ExchangeActivity(const ExchangeActivity &) = delete;
    ExchangeActivity &operator=(const ExchangeActivity &) = delete;

private:
    const ExchangeActivityHook hook;
};

} // namespace

ExchangeActivityHook installExchangeActivityHook(ExchangeActivityHook hook)
{
    const ExchangeActivityHook previous = activityHook;
    activityHook = hook;
    return previous;
}

std::optional<QByteArray> platformExchange(const PlatformRequest &request, QString *failure)
{
    const ExchangeActivity activity;
    // Copies (shared data, no deep copy) owned by the transfer, which may outlive this call when the
    // application quits meanwhile; the CA blob stays put for the whole transfer.
    auto outcome = std::make_shared<TransferOutcome>();
    const bool finished = ExchangeWait::run(
        [request, endpoint = platformEndpoint(), outcome](const ExchangeWait::AbortFlag &abort) {
            *outcome = transfer(request, endpoint, abort);
        });
    // A transfer cut short still runs: its outcome is not read.
    if (!finished) {
        if (failure)
            *failure = QStringLiteral("the client is quitting");
        return std::nullopt;
    }
    if (failure)
        *failure = outcome->body ? QString() : outcome->failure;
    return outcome->body;
}

namespace {

TransferOutcome transfer(const PlatformRequest &request, const PlatformEndpoint &endpoint,
                         const ExchangeWait::AbortFlag &abort)
{
    const CurlLibrary *const lib = curlLibrary();
    if (!lib)
        return failed(QStringLiteral("libcurl could not be loaded"));
    const QByteArray url = request.url(endpoint.baseUrl);

    CurlEasy curl(lib->easy_init());
    if (!curl)
        return failed(QStringLiteral("libcurl could not make a transfer handle"));

    // The certificate download goes without a header list: libcurl then sends its own default
    // type for the empty POST, as the platform has always received it.
    CurlSlist headers;
    if (request.jsonContentType) {
        headers.reset(lib->slist_append(nullptr, "Content-Type: application/json"));
        if (!headers)
            return failed(QStringLiteral("out of memory"));
    }

    QByteArray body;
    QByteArray headerBytes;
    CURL *h = curl.get();
    bool ok = lib->easy_setopt(h, CURLOPT_URL, url.constData()) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_PROTOCOLS_STR, "https") == CURLE_OK;
    if (headers)
        ok = ok && lib->easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
    if (!endpoint.caPem.isEmpty()) {
        curl_blob ca;
        ca.data = const_cast<char *>(endpoint.caPem.constData());
        ca.len = static_cast<size_t>(endpoint.caPem.size());
        ca.flags = CURL_BLOB_NOCOPY; // endpoint.caPem outlives the handle
        ok = ok && lib->easy_setopt(h, CURLOPT_CAINFO_BLOB, &ca) == CURLE_OK;
        // Only the configured CA: no build-time certificate directory beside it.
        ok = ok && lib->easy_setopt(h, CURLOPT_CAPATH, nullptr) == CURLE_OK;
    }
    ok = ok && lib->easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, endpoint.connectTimeoutMs) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_TIMEOUT_MS, endpoint.totalTimeoutMs) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_POSTFIELDS, "") == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_POSTFIELDSIZE, 0L) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_HEADERFUNCTION, &appendChunk) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_HEADERDATA, &headerBytes) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendChunk) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_WRITEDATA, &body) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_NOPROGRESS, 0L) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &abortWhenTold) == CURLE_OK;
    ok = ok && lib->easy_setopt(h, CURLOPT_XFERINFODATA, &abort) == CURLE_OK;
    char reason[CURL_ERROR_SIZE] = {};
    ok = ok && lib->easy_setopt(h, CURLOPT_ERRORBUFFER, reason) == CURLE_OK;
    if (!ok)
        return failed(QStringLiteral("libcurl refused an option"));

    // The HTTP status is not examined: every completed reply goes to the caller's parser.
    const CURLcode result = lib->easy_perform(h);
    if (result != CURLE_OK) {
        // The buffer has the details ("Connection refused", "Operation timed out after ..."), when set.
        return failed(QString::fromUtf8(reason[0] ? reason : lib->easy_strerror(result)).trimmed());
    }
    TransferOutcome outcome;
    outcome.body = body;
    return outcome;
}

} // namespace
