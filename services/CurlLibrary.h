// SPDX-License-Identifier: MIT
// libcurl, loaded by name rather than linked (services/SystemLibrary.h): with its 30 libraries loaded before main, a
// collection ended about 25 ms later. The program starts the load on a thread of its own while its windows are built;
// the first fetch waits for it if it has not ended.
#pragma once

#include <curl/curl.h>

#include <thread>

namespace paveno {

// The libcurl calls that the program makes, each with its type from curl.h.
struct CurlCalls {
    decltype(&curl_easy_init) easy_init;
    decltype(&curl_easy_setopt) easy_setopt;
    decltype(&curl_easy_getinfo) easy_getinfo;
    decltype(&curl_easy_perform) easy_perform;
    decltype(&curl_easy_reset) easy_reset;
    decltype(&curl_easy_cleanup) easy_cleanup;
    decltype(&curl_easy_header) easy_header;
    decltype(&curl_slist_append) slist_append;
    decltype(&curl_slist_free_all) slist_free_all;
};

// The library's file name, as the package that the program depends on installs it.
inline constexpr char kCurlLibrary[] = "libcurl.so.4";

// Loads and initialises libcurl once for the process; null when it cannot be loaded or initialised (every fetch then
// fails). Waits while another thread loads it.
const CurlCalls* Curl();

// Starts the load on a thread of its own and returns at once; the thread is joined when the object goes.
std::jthread PreloadCurl();

// A library of `file` with the calls above, initialised, or null; what Curl() does with kCurlLibrary. Never unloaded.
const CurlCalls* LoadCurl(const char* file);

} // namespace paveno
