#include "api/curllibrary.h"

#include <QFileInfo>
#include <QLibrary>

namespace {

// The DLL beside the Windows client; on Linux the client's own libcurl when it carries one
// (lib/korvane-client/curl beside its bin folder, HTTPS only), else the system's by its SONAME.
// A QLibrary's destructor leaves the library loaded, so it stays until the process ends.
QLibrary *openCurl()
{
#ifdef Q_OS_WIN
    static QLibrary library(QStringLiteral("libcurl-4"));
#else
    static QLibrary library;
    // Read from /proc rather than QCoreApplication: this runs on the exchange's worker thread.
    const QString own = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).path() +
                        QStringLiteral("/../lib/korvane-client/curl/libcurl.so.4");
    if (QFileInfo::exists(own))
        library.setFileName(own);
    else
        library.setFileNameAndVersion(QStringLiteral("curl"), 4);
#endif
    if (!library.load())
        qWarning("libcurl could not be loaded: %s", qPrintable(library.errorString()));
    return &library;
}

template <typename Function> bool resolve(QLibrary *library, const char *name, Function *&function)
{
    function = reinterpret_cast<Function *>(library->resolve(name));
    return function != nullptr;
}

const CurlLibrary *loadCurl()
{
    static CurlLibrary curl;
    QLibrary *library = openCurl();
    CURLcode (*globalInit)(long) = nullptr;
    bool ok = library->isLoaded() && resolve(library, "curl_global_init", globalInit);
    ok = ok && resolve(library, "curl_easy_init", curl.easy_init);
    ok = ok && resolve(library, "curl_easy_setopt", curl.easy_setopt);
    ok = ok && resolve(library, "curl_easy_perform", curl.easy_perform);
    ok = ok && resolve(library, "curl_easy_cleanup", curl.easy_cleanup);
    ok = ok && resolve(library, "curl_slist_append", curl.slist_append);
    ok = ok && resolve(library, "curl_slist_free_all", curl.slist_free_all);
    ok = ok && resolve(library, "curl_version_info", curl.version_info);
    ok = ok && resolve(library, "curl_easy_strerror", curl.easy_strerror);
    ok = ok && globalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return ok ? &curl : nullptr;
}

} // namespace

const CurlLibrary *curlLibrary()
{
    // The function-local static makes the first call thread-safe.
    static const CurlLibrary *const curl = loadCurl();
    return curl;
}
