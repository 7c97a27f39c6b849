// SPDX-License-Identifier: MIT
// paveno-demo-site: serves the whole demo catalogue on 127.0.0.1 for the demo and the end-to-end runs.
#include "tools/demosite/DemoCatalogue.h"

#include <httplib.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Usage() {
    std::fprintf(stderr, "usage: paveno-demo-site --port P [--books-per-category N] [--archive-bytes N]\n"
                         "                        [--cover-bytes N] [--newer-version] [--lf]\n"
                         "  --port 0 picks a free port and prints it.\n");
    std::exit(2);
}

httplib::Server* g_server = nullptr;

} // namespace

int main(int argc, char** argv) {
    paveno::demo::CatalogueOptions options;
    int port = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto number = [&]() -> long long {
            if (i + 1 >= argc) Usage();
            char* end = nullptr;
            const long long v = std::strtoll(argv[++i], &end, 10);
            if (*end != '\0' || v < 0) Usage();
            return v;
        };
        if (arg == "--port")
            port = static_cast<int>(number());
        else if (arg == "--books-per-category")
            options.booksPerCategory = static_cast<int>(number());
        else if (arg == "--archive-bytes")
            options.archiveBytes = static_cast<std::size_t>(number());
        else if (arg == "--cover-bytes")
            options.coverBytes = static_cast<std::size_t>(number());
        else if (arg == "--newer-version")
            options.newerVersion = true;
        else if (arg == "--lf")
            options.lineFeedsOnly = true;
        else
            Usage();
    }
    if (port < 0 || port > 65535) Usage();

    const paveno::demo::DemoCatalogue catalogue(options);
    httplib::Server server;
    server.Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
        const auto answer = catalogue.Answer(request.path);
        response.status = answer.status;
        response.set_content(reinterpret_cast<const char*>(answer.body.data()), answer.body.size(),
                             answer.contentType.c_str());
    });
    g_server = &server;
    std::signal(SIGTERM, [](int) { g_server->stop(); });
    std::signal(SIGINT, [](int) { g_server->stop(); });

    if (port == 0)
        port = server.bind_to_any_port("127.0.0.1");
    else if (!server.bind_to_port("127.0.0.1", port))
        port = -1;
    if (port < 0) {
        std::fprintf(stderr, "paveno-demo-site: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::printf("paveno-demo-site listening on 127.0.0.1:%d\n", port);
    std::fflush(stdout);
    server.listen_after_bind();
    return 0;
}
