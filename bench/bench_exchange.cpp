// One platform exchange through the client (catalogue, libcurl, cJSON reply code) against a bare
// libcurl POST of the same URL, with the same TLS verification and a fresh handle each time.
// Both run interleaved against the local simulator; the medians are compared.
//
// Usage: bench_exchange [rounds]   (default 300)

#include "bench/benchsupport.h"
#include "api/operations.h"
#include "api/platformendpoint.h"
#include "api/platformexchange.h"
#include "api/platformreply.h"
#include "api/sessiontoken.h"
#include "sim/platformsimulator.h"

#include <QCoreApplication>

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

struct CurlEasyDeleter {
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

size_t appendTo(char *data, size_t size, size_t count, void *userData)
{
    static_cast<std::string *>(userData)->append(data, size * count);
    return size * count;
}

// The reference: what any program would write to POST this URL with libcurl.
bool barePost(const QByteArray &url, const QByteArray &caPem, std::string &body)
{
    std::unique_ptr<CURL, CurlEasyDeleter> curl(curl_easy_init());
    std::unique_ptr<curl_slist, CurlSlistDeleter> headers(
        curl_slist_append(nullptr, "Content-Type: application/json"));
    if (!curl || !headers)
        return false;
    curl_blob ca;
    ca.data = const_cast<char *>(caPem.constData());
    ca.len = static_cast<size_t>(caPem.size());
    ca.flags = CURL_BLOB_NOCOPY;
    CURL *h = curl.get();
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(h, CURLOPT_CAINFO_BLOB, &ca);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_POST, 1L);
    curl_easy_setopt(h, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, 0L);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &appendTo);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    body.clear();
    return curl_easy_perform(h) == CURLE_OK;
}

double millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = bench::countArgument(argc, argv, 300, 10);
    const int warmUp = 10;

    sim::PlatformSimulator simulator(sim::demoWorld(), sim::demoServerCertificatePem(), sim::demoServerKeyPem());
    if (!bench::startDemoPlatform(simulator))
        return 1;
    const PlatformEndpoint &endpoint = platformEndpoint();

    const QString userName = QStringLiteral("demo");
    const TokenReply login = requestToken(userName, QStringLiteral("Demo@2026"));
    if (login.code != ReplyCode::Success || !login.token) {
        std::fprintf(stderr, "the demo login failed\n");
        return 1;
    }
    int customerId = 0;
    for (const sim::Account &account : simulator.world().accounts) {
        if (account.userName == userName)
            customerId = account.customerId;
    }

    // Page 1 of the gateway list: the largest reply the client handles regularly.
    const auto makeRequest = [&] {
        return Operations::gatewayVagueFindPage(*login.token, QString(), QString(), QString(), customerId, 1);
    };
    const QByteArray url = makeRequest().url(endpoint.baseUrl);

    std::vector<double> client;
    std::vector<double> bare;
    client.reserve(static_cast<size_t>(rounds));
    bare.reserve(static_cast<size_t>(rounds));
    qsizetype replyBytes = 0;
    int failures = 0;

    const auto runClient = [&](bool record) {
        const Clock::time_point start = Clock::now();
        const std::optional<QByteArray> body = platformExchange(makeRequest());
        const std::optional<int> code = body ? replyCode(JsonDocument::parse(*body)) : std::nullopt;
        const double ms = millisecondsSince(start);
        if (code != ReplyCode::Success)
            ++failures;
        if (record) {
            client.push_back(ms);
            replyBytes = body ? body->size() : 0;
        }
    };
    const auto runBare = [&](bool record) {
        std::string body;
        const Clock::time_point start = Clock::now();
        const bool ok = barePost(url, endpoint.caPem, body);
        const double ms = millisecondsSince(start);
        if (!ok || body.empty())
            ++failures;
        if (record)
            bare.push_back(ms);
    };

    for (int i = 0; i < warmUp; ++i) {
        runClient(false);
        runBare(false);
    }
    // Interleaved, alternating which goes first, so drift and caching hit both alike.
    for (int i = 0; i < rounds; ++i) {
        if (i % 2 == 0) {
            runClient(true);
            runBare(true);
        } else {
            runBare(true);
            runClient(true);
        }
        if (i % 100 == 99)
            simulator.clearRequests();
    }
    simulator.stop();

    const double clientMedian = bench::percentile(client, 0.5);
    const double bareMedian = bench::percentile(bare, 0.5);
    const double ratio = clientMedian / bareMedian;

    std::printf("Platform exchange: gatewayVagueFind page 1 (%lld reply bytes), %s, %d rounds interleaved\n",
                static_cast<long long>(replyBytes), endpoint.baseUrl.constData(), rounds);
    std::printf("TLS verified against the demo CA, fresh handle per exchange, %d failed exchanges\n\n", failures);
    std::printf("%-28s %10s %10s %10s\n", "", "median ms", "p10 ms", "p90 ms");
    std::printf("%-28s %10.3f %10.3f %10.3f\n", "bare libcurl POST", bareMedian, bench::percentile(bare, 0.1),
                bench::percentile(bare, 0.9));
    std::printf("%-28s %10.3f %10.3f %10.3f\n", "client (catalogue+cJSON)", clientMedian, bench::percentile(client, 0.1),
                bench::percentile(client, 0.9));
    std::printf("\n%-28s %10.3f   target <= 1.100: %s\n", "ratio client / bare", ratio,
                ratio <= 1.10 ? "met" : "MISSED");
    return failures == 0 ? 0 : 1;
}
