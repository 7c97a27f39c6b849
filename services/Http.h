// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace paveno {

// One HTTP/1.0 GET of `url`, synchronous; returns the body as it came, whatever the status (an error page's body is a
// body like any other). Empty on every failure: an empty or malformed URL, a scheme other than http and https (also
// as a redirect's target), a connection that cannot be made, more than 20 redirects. A transfer that breaks or stalls
// part way returns the bytes that arrived. Proxies come from the environment (http_proxy, https_proxy, all_proxy,
// no_proxy); connections follow the mapping of services/ConnectTo.h. A body that memory cannot hold fails the fetch
// (内存不足) with an empty body.
ByteSet HttpReadFile(const Text& url);

// How a connection failed, where that is the site's doing: it refused the connection, dropped it without an answer
// or in the middle of one, or never answered (no address, no reply in time).
enum class ConnectionFault { None, Refused, Dropped, Silent };

// How a fetch went, beside its body.
struct FetchOutcome {
    int status = 0;     // the status code of the final answer; 0 when no answer came
    bool whole = false; // no transport error, the announced Content-Length reached, no cap hit, not stopped
    Text reason;        // why the download is not good, in a few Chinese words (GBK); empty when it is good
    std::chrono::milliseconds retryAfter{0}; // a busy server's Retry-After (seconds or a date), 0 when it sent none
    ConnectionFault fault = ConnectionFault::None;
    // What the server says identifies this version of the body, for asking later whether it changed: its ETag (as
    // sent, quotes included; empty when none) and its Last-Modified (seconds since 1970, -1 when none).
    std::string etag = {};
    std::int64_t lastModified = -1;
    // The server announced no length (no Content-Length, not chunked): the body ended when the connection closed, so
    // the transfer alone cannot tell a cut body from a whole one.
    bool lengthUnknown = false;

    // A download that may be kept: it came whole with a 2xx status.
    bool Good() const { return whole && status >= 200 && status < 300; }
};

class PreparedFile;

struct Fetched {
    ByteSet body;
    FetchOutcome outcome;
    // The body written ahead beside the file it is for (see Request::keepAt), waiting to be put in place.
    std::shared_ptr<PreparedFile> kept = {};
};

struct HttpSettings;

// What a caller may add to one fetch. The callbacks run on the thread that runs the transfer.
struct FetchControl {
    const std::atomic<bool>* stop = nullptr; // once either is true, the transfer ends at once as "stopped"
    const std::atomic<bool>* alsoStop = nullptr;
    // Bytes of the body received so far and the announced length (0 when none), as the body grows.
    std::function<void(std::uint64_t received, std::uint64_t announced)> progress;
    // Limits of this fetch alone, instead of the process's (GetHttpSettings).
    const HttpSettings* limits = nullptr;
    // Request header lines beyond the fixed ones, such as "If-None-Match: \"x\"" when asking whether a file changed.
    std::vector<std::string> headers;
    // A body that comes with a 2xx status goes into this file as it comes, never whole into memory: the body of the
    // result then holds its first kBodyHeadBytes only, enough to tell what it is. Other answers stay in memory.
    PreparedFile* keepInto = nullptr;
};

inline constexpr std::size_t kBodyHeadBytes = std::size_t{64} << 10;

// While set, every transfer in flight ends at once as stopped, and every new one too: the program is ending.
void StopAllTransfers(bool stop);

// HttpReadFile with its outcome, on the transfer runner. Fetches may run on several threads at once, each on a
// connection of its own. A collection's requests go through its own client instead (services/HttpClient.h).
Fetched HttpFetch(const Text& url, const FetchControl& control = {});

// The limits that keep a fetch from blocking the program for ever or exhausting memory. Tests lower them.
struct HttpSettings {
    // Time to resolve the host and open the connection.
    std::chrono::milliseconds connectTimeout{60'000};
    // A transfer that averages under lowSpeedBytes per second for this long ends with what arrived (at least 1 s).
    std::chrono::seconds stallTime{60};
    // A body stops growing here; the bytes up to the cap are returned.
    std::size_t bodyCap = std::size_t{1} << 30;
    long lowSpeedBytes = 1024;
    // No fetch lasts longer than this, however it trickles.
    std::chrono::milliseconds totalTime{30 * 60'000};
};

// The transfer itself, on the calling thread, without a prefetcher or a transfer runner.
Fetched FetchFromNetwork(const Text& url, const FetchControl& control = {});

// Where a fetch's transfer runs. Without a runner it runs on the calling thread. The program installs one that, on
// the thread of its windows, runs the transfer on a worker while the windows go on (see system/Transfers.h); the
// caller still sees one synchronous call.
using TransferRunner = std::function<void(const std::function<void()>& transfer)>;
void SetTransferRunner(TransferRunner runner);
// Runs `transfer` on the installed runner, or on the calling thread when there is none.
void RunTransfer(const std::function<void()>& transfer);

HttpSettings GetHttpSettings();
void SetHttpSettings(const HttpSettings& settings);

} // namespace paveno
