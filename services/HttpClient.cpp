// SPDX-License-Identifier: MIT
#include "services/HttpClient.h"

#include "services/Pacer.h"
#include "services/WholeFile.h"

namespace paveno {

void FinishFetched(const Request& request, Fetched& fetched) {
    if (request.judge) request.judge(fetched);
    if (!request.keepAt.empty() && fetched.outcome.Good())
        fetched.kept = std::make_shared<PreparedFile>(request.keepAt, fetched.body, request.durable);
}

Fetched HttpClient::Fetch(const Request& request, const FetchControl& control) {
    FetchControl own = control;
    own.headers.insert(own.headers.end(), request.headers.begin(), request.headers.end());
    // A result fetched ahead was judged and kept where it was fetched; one that has come already needs no transfer,
    // nor a worker to wait on.
    if (std::optional<Fetched> come = ahead_ ? ahead_->TakeIfCome(request) : std::nullopt) return std::move(*come);
    Fetched fetched;
    RunTransfer([&] {
        std::optional<Fetched> ready;
        if (ahead_) ready = ahead_->Take(request, own);
        if (ready) {
            fetched = std::move(*ready);
        } else {
            fetched = pacer_.Fetch(request.url, request.turn, own);
            FinishFetched(request, fetched);
        }
    });
    return fetched;
}

} // namespace paveno
