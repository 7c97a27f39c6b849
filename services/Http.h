// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <chrono>
#include <cstddef>

namespace paveno {

// One HTTP/1.0 GET of `url`, synchronous; returns the body as it came, whatever the status (an error page's body is a
// body like any other). Empty on every failure: an empty or malformed URL, a scheme other than http and https (also
// as a redirect's target), a connection that cannot be made, more than 20 redirects. A transfer that breaks or stalls
// part way returns the bytes that arrived. Proxies come from the environment (http_proxy, https_proxy, all_proxy,
// no_proxy); connections follow the mapping of services/ConnectTo.h. Running out of memory for the body raises
// std::bad_alloc, as every allocation of the program does.
ByteSet HttpReadFile(const Text& url);

// The limits that keep a fetch from blocking the program for ever or exhausting memory. Tests lower them.
struct HttpSettings {
    // Time to resolve the host and open the connection.
    std::chrono::milliseconds connectTimeout{60'000};
    // A transfer slower than 1 byte per second for this long ends with what arrived (seconds, at least 1).
    std::chrono::seconds stallTime{60};
    // A body stops growing here; the bytes up to the cap are returned.
    std::size_t bodyCap = std::size_t{1} << 30;
};

HttpSettings GetHttpSettings();
void SetHttpSettings(const HttpSettings& settings);

} // namespace paveno
