// SPDX-License-Identifier: MIT
#include "services/CurlLibrary.h"

#include "services/SystemLibrary.h"

namespace paveno {

const CurlCalls* LoadCurl(const char* file) {
    return LoadSystemLibrary<CurlCalls>(file, [](void* library, CurlCalls& calls) {
        decltype(&curl_global_init) globalInit = nullptr;
        // Initialised once, before any handle exists; each fetch then has a handle of its own, so fetches on several
        // threads never share one.
        return FindCall(library, "curl_global_init", globalInit) &&
               FindCall(library, "curl_easy_init", calls.easy_init) &&
               FindCall(library, "curl_easy_setopt", calls.easy_setopt) &&
               FindCall(library, "curl_easy_getinfo", calls.easy_getinfo) &&
               FindCall(library, "curl_easy_perform", calls.easy_perform) &&
               FindCall(library, "curl_easy_reset", calls.easy_reset) &&
               FindCall(library, "curl_easy_cleanup", calls.easy_cleanup) &&
               FindCall(library, "curl_easy_header", calls.easy_header) &&
               FindCall(library, "curl_slist_append", calls.slist_append) &&
               FindCall(library, "curl_slist_free_all", calls.slist_free_all) &&
               globalInit(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    });
}

const CurlCalls* Curl() {
    static const CurlCalls* const calls = LoadCurl(kCurlLibrary);
    return calls;
}

std::jthread PreloadCurl() {
    return std::jthread([] { Curl(); });
}

} // namespace paveno
