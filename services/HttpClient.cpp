// SPDX-License-Identifier: MIT
#include "services/HttpClient.h"

#include "services/Pacer.h"

namespace paveno {

Fetched HttpClient::Fetch(const Request& request, const FetchControl& control) {
    FetchControl own = control;
    own.headers.insert(own.headers.end(), request.headers.begin(), request.headers.end());
    Fetched fetched;
    // A result that has come already needs no transfer, nor a worker to wait on; only its judgement (which may read
    // a whole archive through) still runs where the windows go on meanwhile.
    if (std::optional<Fetched> come = ahead_ ? ahead_->TakeIfCome(request) : std::nullopt) {
        fetched = std::move(*come);
        if (own.judge) RunTransfer([&] { own.judge(fetched); });
        return fetched;
    }
    RunTransfer([&] {
        std::optional<Fetched> ready;
        if (ahead_) ready = ahead_->Take(request, own);
        fetched = ready ? std::move(*ready) : pacer_.Fetch(request.url, request.turn, own);
        if (own.judge) own.judge(fetched);
    });
    return fetched;
}

} // namespace paveno
