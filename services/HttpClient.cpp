// SPDX-License-Identifier: MIT
#include "services/HttpClient.h"

#include "services/Pacer.h"
#include "services/WholeFile.h"

namespace paveno {

Fetched Transfer(Pacer& pacer, const Request& request, FetchControl control) {
    std::shared_ptr<PreparedFile> file;
    if (request.streamed && !request.keepAt.empty()) {
        file = std::make_shared<PreparedFile>(request.keepAt, request.durable);
        control.keepInto = file.get();
    }
    Fetched fetched = pacer.Fetch(request.url, request.turn, control);
    // Only a good body is kept; any other leaves nothing behind as its file goes.
    if (file && fetched.outcome.Good()) {
        file->Close();
        fetched.kept = std::move(file);
    }
    return fetched;
}

void FinishFetched(const Request& request, Fetched& fetched) {
    if (request.judge) request.judge(fetched);
    if (!fetched.outcome.Good()) {
        fetched.kept.reset();
        return;
    }
    if (!request.keepAt.empty() && !fetched.kept)
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
            fetched = Transfer(pacer_, request, own);
            FinishFetched(request, fetched);
        }
    });
    return fetched;
}

} // namespace paveno
