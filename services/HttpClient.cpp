// SPDX-License-Identifier: MIT
#include "services/HttpClient.h"

#include "services/Pacer.h"

namespace paveno {

Fetched HttpClient::Fetch(const Request& request, const FetchControl& control) {
    FetchControl own = control;
    own.headers.insert(own.headers.end(), request.headers.begin(), request.headers.end());
    Fetched fetched;
    RunTransfer([&] {
        std::optional<Fetched> ready;
        if (ahead_) ready = ahead_->Take(request, own);
        fetched = ready ? std::move(*ready) : pacer_.Fetch(request.url, request.turn, own);
        if (own.judge) own.judge(fetched);
    });
    return fetched;
}

} // namespace paveno
