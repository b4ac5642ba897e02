#pragma once

#include <curl/curl.h>

// The libcurl functions the client calls, resolved when the first exchange needs them. Linked at
// start, libcurl would bring its TLS, name and protocol libraries (about thirty on Debian, each
// relocated and some initialised at load) before the login dialog could show.
struct CurlLibrary {
    CURL *(*easy_init)();
    CURLcode (*easy_setopt)(CURL *handle, CURLoption option, ...);
    CURLcode (*easy_perform)(CURL *handle);
    void (*easy_cleanup)(CURL *handle);
    curl_slist *(*slist_append)(curl_slist *list, const char *text);
    void (*slist_free_all)(curl_slist *list);
    curl_version_info_data *(*version_info)(CURLversion stamp);
    const char *(*easy_strerror)(CURLcode code);
};

// Loaded and globally initialised once, on the first call (thread-safe). Null when libcurl cannot
// be loaded or initialised; every exchange then fails as a failed transfer.
const CurlLibrary *curlLibrary();
