// SPDX-License-Identifier: MIT
#include "services/CurlLibrary.h"

#include <dlfcn.h>

namespace paveno {

namespace {

template <typename Call> bool Find(void* library, const char* name, Call& call) {
    call = reinterpret_cast<Call>(dlsym(library, name));
    return call != nullptr;
}

} // namespace

const CurlCalls* LoadCurl(const char* file) {
    // Its own name space: none of its 30 libraries' names can stand for one of the program's.
    void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    auto* calls = new CurlCalls{};
    CURLcode (*globalInit)(long) = nullptr;
    const bool found = Find(library, "curl_global_init", globalInit) &&
                       Find(library, "curl_easy_init", calls->easy_init) &&
                       Find(library, "curl_easy_setopt", calls->easy_setopt) &&
                       Find(library, "curl_easy_getinfo", calls->easy_getinfo) &&
                       Find(library, "curl_easy_perform", calls->easy_perform) &&
                       Find(library, "curl_easy_reset", calls->easy_reset) &&
                       Find(library, "curl_easy_cleanup", calls->easy_cleanup) &&
                       Find(library, "curl_easy_header", calls->easy_header) &&
                       Find(library, "curl_slist_append", calls->slist_append) &&
                       Find(library, "curl_slist_free_all", calls->slist_free_all);
    // Initialised once, before any handle exists; each fetch then has a handle of its own, so fetches on several
    // threads never share one.
    if (!found || globalInit(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
        delete calls;
        dlclose(library);
        return nullptr;
    }
    return calls;
}

const CurlCalls* Curl() {
    static const CurlCalls* const calls = LoadCurl(kCurlLibrary);
    return calls;
}

std::jthread PreloadCurl() {
    return std::jthread([] { Curl(); });
}

} // namespace paveno
