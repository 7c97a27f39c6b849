// SPDX-License-Identifier: MIT
#include "services/HttpClient.h"

#include "services/Pacer.h"

namespace paveno {

Fetched HttpClient::Fetch(const Request& request, const FetchControl& control) {
    Fetched fetched;
    RunTransfer([&] {
        std::optional<Fetched> ready;
        if (ahead_) ready = ahead_->Take(request, control);
        fetched = ready ? std::move(*ready) : pacer_.Fetch(request.url, request.turn, control);
    });
    return fetched;
}

} // namespace paveno
