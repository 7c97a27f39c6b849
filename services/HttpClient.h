// SPDX-License-Identifier: MIT
#pragma once

#include "services/Http.h"
#include "services/Text.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace paveno {

class Pacer;

// One request of a collection: what it asks for and whose it is. The turn and the part name the request for the
// results fetched ahead, so that a URL shared by two books (a placeholder cover) is still two requests.
struct Request {
    Text url;
    std::uint32_t turn = 0;                // the list page's or book's place in the run (see Pacer); 0 for none
    int part = 0;                          // which of the turn's files, in the caller's own numbering
    std::vector<std::string> headers = {}; // request headers of its own (see FetchControl)
    bool large = false;                    // a long transfer (an archive): among a run's last requests it goes first
    // What is done with a result before the caller sees it, off the window thread (ahead of the caller when it was
    // fetched ahead): the judgement of its body, and for a good one the file (a GBK path) it is written beside,
    // under a temporary name (Fetched::kept).
    std::function<void(Fetched&)> judge = {};
    Text keepAt = {};
    bool durable = false; // the kept file's bytes reach the disk before it can be put in place
    // A large body goes into its kept file as it comes, instead of whole into memory first (see
    // FetchControl::keepInto); the judge sees its first bytes and may read the rest back from the file.
    bool streamed = false;
};

// The request's transfer through the pacer; a streamed request's good body is written to its file by its end.
Fetched Transfer(Pacer& pacer, const Request& request, FetchControl control);
// Does what the request asks with its result (its judge, then its keepAt), on the calling thread.
void FinishFetched(const Request& request, Fetched& fetched);

// Results fetched ahead of the requests that will ask for them (services/Prefetcher.h).
class FetchAhead {
public:
    virtual ~FetchAhead() = default;
    // The result for `request` if it was fetched ahead or is on its way (waiting for it), once; nullopt when the
    // caller must fetch it itself. While it waits, the control's progress callback sees the body grow.
    virtual std::optional<Fetched> Take(const Request& request, const FetchControl& control) = 0;
    // The result for `request` if it has come already, once; nullopt otherwise, without waiting.
    virtual std::optional<Fetched> TakeIfCome(const Request& request) = 0;
};

// The HTTP of a collection: every request asks the run's pacer, and takes what was fetched ahead for it first.
class HttpClient {
public:
    explicit HttpClient(Pacer& pacer, FetchAhead* ahead = nullptr) : pacer_(pacer), ahead_(ahead) {}
    // Runs on the transfer runner (see SetTransferRunner), so the windows go on meanwhile.
    Fetched Fetch(const Request& request, const FetchControl& control = {});

private:
    Pacer& pacer_;
    FetchAhead* ahead_;
};

} // namespace paveno
