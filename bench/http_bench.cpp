// SPDX-License-Identifier: MIT
// Figures for HttpReadFile against a local site:
//  - 100 files of 1 MiB fetched one after the other, against one curl command line fetching the same 100 URLs;
//  - the peak memory of a process that fetches one 200 MiB body, against the same process fetching a tiny one.
// Everything is printed, nothing asserted.
#include "services/Http.h"
#include "tests/support/LocalSite.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

extern char** environ;

using namespace paveno;
using namespace paveno::test;

namespace {

constexpr std::size_t fileCount = 100;
constexpr std::size_t fileSize = std::size_t{1} << 20;
constexpr std::size_t largeSize = std::size_t{200} << 20;
constexpr int rounds = 9;

std::shared_ptr<const std::string> Bytes(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        s[i] = static_cast<char>((i * 2654435761u) >> 13);
    return std::make_shared<const std::string>(std::move(s));
}

// Runs a program to its end; returns its exit status.
int Run(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double Seconds(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The child side of the memory figure: fetch one URL, then print the process's peak resident set (KiB), or -1 when
// the body did not come whole. A fresh process, so nothing of the parent's memory counts.
int FetchInChild(const char* url, const char* expectedSize) {
    const ByteSet body = HttpReadFile(url);
    long peakKiB = -1;
    if (body.size() == std::strtoull(expectedSize, nullptr, 10)) {
        if (FILE* status = std::fopen("/proc/self/status", "r")) {
            char line[256];
            while (std::fgets(line, sizeof line, status)) {
                if (std::strncmp(line, "VmHWM:", 6) == 0) peakKiB = std::strtol(line + 6, nullptr, 10);
            }
            std::fclose(status);
        }
    }
    std::printf("%ld\n", peakKiB);
    return 0;
}

// Peak resident set (KiB) of a fresh process fetching `url`, -1 on failure.
long PeakOfFetch(const std::string& self, const std::string& url, std::size_t size) {
    const std::string command = "'" + self + "' --fetch '" + url + "' " + std::to_string(size);
    FILE* child = popen(command.c_str(), "r");
    if (!child) return -1;
    long peakKiB = -1;
    if (std::fscanf(child, "%ld", &peakKiB) != 1) peakKiB = -1;
    pclose(child);
    return peakKiB;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--fetch") return FetchInChild(argv[2], argv[3]);

    NoProxyEnvironment noProxy;
    LocalSite site;
    const auto file = Bytes(fileSize);
    std::vector<std::string> urls;
    for (std::size_t i = 0; i < fileCount; ++i) {
        const std::string path = "/files/" + std::to_string(i) + ".rar";
        site.respond(path, SiteResponse::Shared(file));
        urls.push_back(site.url(path));
    }
    std::vector<std::string> curlLine = {"/usr/bin/curl", "-s"};
    for (const auto& url : urls)
        curlLine.insert(curlLine.end(), {"-o", "/dev/null", url});

    // Warm both paths (libcurl's first initialisation, the curl binary in the page cache).
    HttpReadFile(urls[0]);
    Run({"/usr/bin/curl", "-s", "-o", "/dev/null", urls[0]});

    std::vector<double> ours, theirs;
    bool whole = true;
    for (int r = 0; r < rounds; ++r) {
        auto start = std::chrono::steady_clock::now();
        for (const auto& url : urls)
            whole = whole && HttpReadFile(url).size() == fileSize;
        ours.push_back(Seconds(std::chrono::steady_clock::now() - start));

        start = std::chrono::steady_clock::now();
        const int status = Run(curlLine);
        theirs.push_back(Seconds(std::chrono::steady_clock::now() - start));
        if (status != 0) std::printf("curl exited with %d\n", status);
    }
    const double a = Median(ours), b = Median(theirs);
    std::printf("100 x 1 MiB, sequential, median of %d rounds%s\n", rounds, whole ? "" : " (SOME BODIES INCOMPLETE)");
    std::printf("  HttpReadFile      %8.3f s\n", a);
    std::printf("  curl command line %8.3f s\n", b);
    std::printf("  ratio             %8.3f (target within 1.1)\n", a / b);

    const auto large = Bytes(largeSize);
    site.respond("/large.rar", SiteResponse::Shared(large));
    SiteResponse unannounced = SiteResponse::Shared(large);
    unannounced.sendContentLength = false;
    site.respond("/large-unannounced.rar", unannounced);
    site.serve("/small", "x");

    char exe[4096];
    const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return 1;
    exe[n] = '\0';
    const long baseKiB = PeakOfFetch(exe, site.url("/small"), 1);
    const long peakKiB = PeakOfFetch(exe, site.url("/large.rar"), largeSize);
    const long unannouncedKiB = PeakOfFetch(exe, site.url("/large-unannounced.rar"), largeSize);
    const double bodyKiB = double(largeSize) / 1024;
    std::printf("one 200 MiB body, peak resident set of a fetching process%s\n",
                baseKiB > 0 && peakKiB > 0 && unannouncedKiB > 0 ? "" : " (A FETCH FAILED)");
    std::printf("  process fetching 1 byte         %8.1f MiB\n", baseKiB / 1024.0);
    std::printf("  with Content-Length             %8.1f MiB, growth %.3f x body (target under 1.3)\n",
                peakKiB / 1024.0, (peakKiB - baseKiB) / bodyKiB);
    std::printf("  without Content-Length          %8.1f MiB, growth %.3f x body\n", unannouncedKiB / 1024.0,
                (unannouncedKiB - baseKiB) / bodyKiB);
    return 0;
}
