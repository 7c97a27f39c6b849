// SPDX-License-Identifier: MIT
#include "services/Http.h"

#include "services/ConnectTo.h"
#include "services/CurlLibrary.h"
#include "services/Gbk.h"
#include "services/TextOps.h"
#include "services/WholeFile.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace paveno {

namespace {

constexpr char userAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)";
constexpr int maxRedirects = 20;
constexpr long readChunk = 102400;

// The largest parts a URL may have; a longer one makes the fetch fail.
constexpr std::size_t hostLimit = 256;
constexpr std::size_t pathWithQueryLimit = 2048;
constexpr std::size_t userLimit = 128;
constexpr std::size_t passwordLimit = 128;

// A byte set cannot hold more than a 32-bit signed count.
constexpr std::size_t byteSetLimit = std::numeric_limits<std::int32_t>::max();

std::mutex settingsMutex;
HttpSettings settings;

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

struct Url {
    std::string scheme; // lower case
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::string host;
    std::string port; // digits, or empty for the scheme's default
    std::string path; // dot segments resolved, raw bytes as given
    std::optional<std::string> query;

    std::string PathWithQuery() const { return query ? path + "?" + *query : path; }
};

// Resolves "." and ".." segments of an absolute path the way a browser does; ".." never climbs above the root.
std::string RemoveDotSegments(std::string_view in) {
    std::string out;
    auto dropLastSegment = [&out] {
        const auto slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./")) {
            in.remove_prefix(2);
        } else if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            dropLastSegment();
        } else if (in == "/..") {
            in = "/";
            dropLastSegment();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const auto next = in.find('/', 1);
            out.append(in.substr(0, next));
            in.remove_prefix(next == std::string_view::npos ? in.size() : next);
        }
    }
    return out;
}

bool ValidScheme(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
    });
}

bool ValidPort(std::string_view p) {
    if (p.empty()) return true;
    if (p.size() > 5 || !std::all_of(p.begin(), p.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    const int value = std::stoi(std::string(p));
    return value >= 1 && value <= 65535;
}

// Splits an absolute URL (already cut at "#") into its parts, keeping every byte of the path and query as given.
std::optional<Url> SplitUrl(std::string_view s) {
    // A control byte would end the request line early or smuggle a header into the request.
    if (std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; })) {
        return std::nullopt;
    }
    const auto schemeEnd = s.find("://");
    if (schemeEnd == std::string_view::npos || !ValidScheme(s.substr(0, schemeEnd))) return std::nullopt;
    Url url;
    for (char c : s.substr(0, schemeEnd))
        url.scheme.push_back(Lower(c));

    const auto rest = s.substr(schemeEnd + 3);
    const auto authorityEnd = rest.find_first_of("/?");
    auto authority = rest.substr(0, authorityEnd);
    const auto tail = authorityEnd == std::string_view::npos ? std::string_view{} : rest.substr(authorityEnd);

    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        const auto userInfo = authority.substr(0, at);
        const auto colon = userInfo.find(':');
        url.user = std::string(userInfo.substr(0, colon));
        if (colon != std::string_view::npos) url.password = std::string(userInfo.substr(colon + 1));
        authority.remove_prefix(at + 1);
    }
    std::string_view host = authority;
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(0, close + 1);
        const auto after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return std::nullopt;
            port = after.substr(1);
        }
    } else if (const auto colon = authority.rfind(':'); colon != std::string_view::npos) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (host.empty() || host.find(' ') != std::string_view::npos || !ValidPort(port)) return std::nullopt;
    url.host = host;
    url.port = port;

    std::string_view pathWithQuery = tail;
    std::string rooted;
    if (pathWithQuery.empty() || pathWithQuery[0] == '?') {
        rooted = "/" + std::string(pathWithQuery);
        pathWithQuery = rooted;
    }
    const auto question = pathWithQuery.find('?');
    url.path = RemoveDotSegments(pathWithQuery.substr(0, question));
    if (url.path.empty()) url.path = "/";
    if (question != std::string_view::npos) url.query = std::string(pathWithQuery.substr(question + 1));

    if (url.host.size() > hostLimit || url.PathWithQuery().size() > pathWithQueryLimit ||
        (url.user && url.user->size() > userLimit) || (url.password && url.password->size() > passwordLimit)) {
        return std::nullopt;
    }
    return url;
}

// libcurl refuses spaces and control bytes in a URL and re-encodes others, so the URL that it parses carries escapes,
// while the request line carries the raw bytes (see RequestTarget).
std::string Escaped(std::string_view s, bool userInfo) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size());
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain =
            userInfo ? (std::isalnum(c) || std::string_view("-._~!$&'()*+,;=").find(ch) != std::string_view::npos)
                     : (c > 0x20 && c < 0x7F);
        if (plain) {
            out.push_back(ch);
        } else {
            out.push_back('%');
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 15]);
        }
    }
    return out;
}

std::string Origin(const Url& url) {
    return url.scheme + "://" + url.host + (url.port.empty() ? "" : ":" + url.port);
}

std::string CurlUrl(const Url& url) {
    std::string out = url.scheme + "://";
    if (url.user) {
        out += Escaped(*url.user, true);
        if (url.password) out += ":" + Escaped(*url.password, true);
        out += "@";
    }
    out += url.host;
    if (!url.port.empty()) out += ":" + url.port;
    out += Escaped(url.path, false);
    if (url.query) out += "?" + Escaped(*url.query, false);
    return out;
}

std::string EnvironmentValue(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? value : "";
}

bool NoProxyCovers(std::string_view host, std::string_view list) {
    if (host.starts_with('[') && host.ends_with(']')) host = host.substr(1, host.size() - 2);
    while (!list.empty()) {
        const auto comma = list.find(',');
        auto entry = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
        while (!entry.empty() && entry.front() == ' ')
            entry.remove_prefix(1);
        while (!entry.empty() && entry.back() == ' ')
            entry.remove_suffix(1);
        if (entry == "*") return true;
        if (entry.starts_with('.')) entry.remove_prefix(1);
        if (entry.empty()) continue;
        if (EqualNoCase(host, entry)) return true;
        if (host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
            EqualNoCase(host.substr(host.size() - entry.size()), entry)) {
            return true;
        }
    }
    return false;
}

// The proxy that the environment names for this URL, read as libcurl reads it (only the lower-case http_proxy for
// http). We decide it here rather than leave it to libcurl because a plain-http proxy must be sent the whole URL as
// the request target, and the raw request target is ours to build.
std::string ProxyFor(const Url& url) {
    std::string noProxy = EnvironmentValue("no_proxy");
    if (noProxy.empty()) noProxy = EnvironmentValue("NO_PROXY");
    if (NoProxyCovers(url.host, noProxy)) return {};
    std::string proxy = EnvironmentValue(url.scheme + "_proxy");
    if (proxy.empty() && url.scheme != "http") {
        std::string upper = url.scheme + "_PROXY";
        std::transform(upper.begin(), upper.end(), upper.begin(), [](unsigned char c) { return std::toupper(c); });
        proxy = EnvironmentValue(upper);
    }
    if (proxy.empty()) proxy = EnvironmentValue("all_proxy");
    if (proxy.empty()) proxy = EnvironmentValue("ALL_PROXY");
    return proxy;
}

std::string RequestTarget(const Url& url, const std::string& proxy) {
    // https goes through a proxy in a tunnel, and a SOCKS proxy only relays bytes: both keep the origin form.
    const bool absoluteForm = !proxy.empty() && url.scheme == "http" && !EqualNoCase(proxy.substr(0, 5), "socks");
    return absoluteForm ? Origin(url) + url.PathWithQuery() : url.PathWithQuery();
}

struct SlistDeleter {
    void operator()(curl_slist* list) const { Curl()->slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

Slist MakeSlist(const std::vector<std::string>& lines) {
    const CurlCalls& curl = *Curl();
    curl_slist* list = nullptr;
    for (const auto& line : lines) {
        curl_slist* grown = curl.slist_append(list, line.c_str());
        if (!grown) {
            curl.slist_free_all(list);
            return nullptr;
        }
        list = grown;
    }
    return Slist(list);
}

struct EasyDeleter {
    void operator()(CURL* easy) const { Curl()->easy_cleanup(easy); }
};
using Easy = std::unique_ptr<CURL, EasyDeleter>;

struct Sink {
    CURL* easy;
    std::size_t cap;
    const FetchControl& control;
    ByteSet body;
    bool started = false;
    bool toFile = false; // a 2xx body for control.keepInto: the file takes it, `body` its first bytes
    bool capped = false;
    std::uint64_t received = 0;
    std::uint64_t announced = 0;
    std::exception_ptr failure; // out of memory: carried past libcurl's C frames and raised again afterwards
};

size_t WriteBody(char* data, size_t, size_t count, void* user) {
    auto& sink = *static_cast<Sink*>(user);
    try {
        if (!sink.started) {
            // The status is known by the first bytes of the body, and so is an announced length: one allocation for
            // the body, so that a large archive is never copied while it grows.
            const CurlCalls& curl = *Curl();
            sink.started = true;
            long status = 0;
            curl.easy_getinfo(sink.easy, CURLINFO_RESPONSE_CODE, &status);
            sink.toFile = sink.control.keepInto && status >= 200 && status < 300;
            curl_off_t length = -1;
            if (curl.easy_getinfo(sink.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length > 0) {
                sink.announced = static_cast<std::uint64_t>(length);
                sink.body.reserve(std::min<std::uint64_t>(sink.announced, sink.toFile ? kBodyHeadBytes : sink.cap));
            }
        }
        const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(count, sink.cap - sink.received));
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(data); // same element type: one memmove, not a loop
        const std::size_t inMemory =
            sink.toFile ? std::min(take, kBodyHeadBytes - std::min(kBodyHeadBytes, sink.body.size())) : take;
        sink.body.insert(sink.body.end(), bytes, bytes + inMemory);
        if (sink.toFile) sink.control.keepInto->Append({bytes, take});
        sink.received += take;
        if (sink.control.progress) sink.control.progress(sink.received, sink.announced);
        if (take == count) return count;
        sink.capped = true;
        return 0; // anything but `count` ends the transfer
    } catch (...) {
        sink.failure = std::current_exception();
        return 0;
    }
}

std::atomic<bool> allStopped{false};

bool Stopped(const FetchControl& control) {
    return allStopped.load() || (control.stop && control.stop->load()) ||
           (control.alsoStop && control.alsoStop->load());
}

int StopCheck(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return Stopped(*static_cast<const FetchControl*>(user)) ? 1 : 0; // non-zero aborts the transfer
}

struct Response {
    ByteSet body;
    std::string redirect; // where a 3xx answer with a Location points, resolved against the request's URL
    FetchOutcome outcome;
};

// Why a transfer that libcurl ended with `code` did not come whole.
Text TransportReason(CURLcode code, CURL* easy, const char* errorText, bool capped, ConnectionFault& fault) {
    const CurlCalls& curl = *Curl();
    if (capped) return Gbk("文件太大");
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        fault = ConnectionFault::Silent;
        return Gbk("找不到服务器");
    case CURLE_COULDNT_CONNECT:
        fault = ConnectionFault::Refused;
        return Gbk("无法连接服务器");
    case CURLE_GOT_NOTHING:
        fault = ConnectionFault::Dropped;
        return Gbk("服务器没有回应");
    case CURLE_ABORTED_BY_CALLBACK:
        return Gbk("已停止");
    case CURLE_OPERATION_TIMEDOUT: {
        long status = 0;
        curl.easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
        curl_off_t connectedAt = 0;
        curl.easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connectedAt);
        if (connectedAt == 0 || status == 0) fault = ConnectionFault::Silent;
        if (connectedAt == 0) return Gbk("连接超时");
        if (status == 0) return Gbk("服务器没有回应");
        // libcurl tells the two limits apart only in its message.
        return std::string_view(errorText).find("too slow") != std::string_view::npos ? Gbk("传输太慢")
                                                                                      : Gbk("下载超时");
    }
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
        fault = ConnectionFault::Dropped;
        return Gbk("数据不完整");
    case CURLE_PARTIAL_FILE:
        return Gbk("数据不完整");
    default:
        return Gbk("网络错误");
    }
}

Response FetchOnce(CURL* easy, const Url& url, const HttpSettings& limits, curl_slist* headers, curl_slist* connectTo,
                   const FetchControl& control) {
    const CurlCalls& curl = *Curl();
    const std::string curlUrl = CurlUrl(url);
    const std::string proxy = ProxyFor(url);
    const std::string target = RequestTarget(url, proxy);
    Sink sink{easy, std::min(limits.bodyCap, byteSetLimit), control, {}, false, false, false, 0, 0, nullptr};
    // The file takes the body of this answer alone, not of one before it (a redirect, an answer asked again).
    if (control.keepInto) control.keepInto->Rewind();

    curl.easy_reset(easy);
    curl.easy_setopt(easy, CURLOPT_URL, curlUrl.c_str());
    curl.easy_setopt(easy, CURLOPT_REQUEST_TARGET, target.c_str());
    curl.easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl.easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl.easy_setopt(easy, CURLOPT_USERAGENT, userAgent);
    curl.easy_setopt(easy, CURLOPT_HTTPHEADER, headers);
    // Redirects are followed by FetchFromNetwork itself: libcurl would send the first request target again on each one.
    curl.easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl.easy_setopt(easy, CURLOPT_PROXY, proxy.c_str()); // "" means direct, whatever the environment says
    curl.easy_setopt(easy, CURLOPT_CONNECT_TO, connectTo);
    curl.easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connectTimeout.count()));
    curl.easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, std::max(1L, limits.lowSpeedBytes));
    curl.easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, std::max(1L, static_cast<long>(limits.stallTime.count())));
    curl.easy_setopt(easy, CURLOPT_TIMEOUT_MS, std::max(1L, static_cast<long>(limits.totalTime.count())));
    curl.easy_setopt(easy, CURLOPT_BUFFERSIZE, readChunk);
    curl.easy_setopt(easy, CURLOPT_FILETIME, 1L); // Last-Modified
    curl.easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl.easy_setopt(easy, CURLOPT_WRITEFUNCTION, WriteBody);
    curl.easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    char errorText[CURL_ERROR_SIZE] = "";
    curl.easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
    // Every transfer can be stopped: by its caller, or by the program ending.
    curl.easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, StopCheck);
    curl.easy_setopt(easy, CURLOPT_XFERINFODATA, const_cast<FetchControl*>(&control));
    curl.easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);

    // A body cut by a broken or stalled connection or by the cap is kept as it came, and a failure before the body
    // leaves it empty; the outcome says which.
    const CURLcode code = curl.easy_perform(easy);
    Response response;
    // A body that memory cannot hold fails this fetch alone: on a worker thread the exception would end the process.
    if (sink.failure) {
        try {
            std::rethrow_exception(sink.failure);
        } catch (const std::bad_alloc&) {
            ByteSet().swap(sink.body);
            response.outcome.reason = Gbk("内存不足");
            return response;
        }
    }

    long status = 0;
    curl.easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    response.outcome.status = static_cast<int>(status);
    curl_off_t retryAfter = 0;
    if (curl.easy_getinfo(easy, CURLINFO_RETRY_AFTER, &retryAfter) == CURLE_OK && retryAfter > 0)
        response.outcome.retryAfter = std::chrono::seconds(retryAfter);
    response.outcome.whole = code == CURLE_OK && !sink.capped;
    curl_off_t modified = -1;
    if (curl.easy_getinfo(easy, CURLINFO_FILETIME_T, &modified) == CURLE_OK && modified >= 0)
        response.outcome.lastModified = modified;
    curl_header* etag = nullptr;
    if (curl.easy_header(easy, "ETag", 0, CURLH_HEADER, -1, &etag) == CURLHE_OK && etag->value)
        response.outcome.etag = etag->value;
    curl_off_t length = -1;
    curl_header* encoding = nullptr;
    const bool chunked = curl.easy_header(easy, "Transfer-Encoding", 0, CURLH_HEADER, -1, &encoding) == CURLHE_OK &&
                         std::string_view(encoding->value).find("chunked") != std::string_view::npos;
    response.outcome.lengthUnknown =
        !chunked && (curl.easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK || length < 0);
    if (!response.outcome.whole)
        response.outcome.reason = TransportReason(code, easy, errorText, sink.capped, response.outcome.fault);
    char* redirect = nullptr;
    if (code == CURLE_OK && curl.easy_getinfo(easy, CURLINFO_REDIRECT_URL, &redirect) == CURLE_OK && redirect) {
        response.redirect = redirect;
        return response;
    }
    curl.easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
    response.body = std::move(sink.body);
    // A length announced but never delivered must not leave the caller holding the unused reservation.
    if (response.body.capacity() - response.body.size() > (std::size_t{1} << 20)) response.body.shrink_to_fit();
    return response;
}

FetchOutcome Failed(const char* utf8Reason) {
    FetchOutcome outcome;
    outcome.reason = Gbk(utf8Reason);
    return outcome;
}

} // namespace

void StopAllTransfers(bool stop) {
    allStopped = stop;
}

HttpSettings GetHttpSettings() {
    std::lock_guard lock(settingsMutex);
    return settings;
}

void SetHttpSettings(const HttpSettings& newSettings) {
    std::lock_guard lock(settingsMutex);
    settings = newSettings;
}

namespace {

std::mutex runnerMutex;
TransferRunner transferRunner;

} // namespace

void SetTransferRunner(TransferRunner runner) {
    std::lock_guard lock(runnerMutex);
    transferRunner = std::move(runner);
}

void RunTransfer(const std::function<void()>& transfer) {
    TransferRunner runner;
    {
        std::lock_guard lock(runnerMutex);
        runner = transferRunner;
    }
    if (runner)
        runner(transfer);
    else
        transfer();
}

ByteSet HttpReadFile(const Text& url) {
    return HttpFetch(url).body;
}

Fetched HttpFetch(const Text& url, const FetchControl& control) {
    if (url.empty()) return FetchFromNetwork(url, control);
    Fetched fetched;
    RunTransfer([&] { fetched = FetchFromNetwork(url, control); });
    return fetched;
}

Fetched FetchFromNetwork(const Text& url, const FetchControl& control) {
    if (url.empty()) return {{}, Failed("网址无效")};
    std::string next = url.substr(0, url.find('#'));

    const CurlCalls* curl = Curl();
    if (!curl) return {{}, Failed("无法载入网络库")};
    const Easy easy(curl->easy_init());
    const HttpSettings limits = control.limits ? *control.limits : GetHttpSettings();
    std::vector<std::string> lines = {"Accept: */*", "Pragma: no-cache", "Cache-Control: no-cache"};
    // Only whole header lines go out: a line break would smuggle another header into the request.
    for (const std::string& line : control.headers)
        if (line.find_first_of("\r\n") == std::string::npos) lines.push_back(line);
    const Slist headers = MakeSlist(lines);
    const Slist connectTo = MakeSlist(ActiveConnectTo());
    if (!easy || !headers) return {{}, Failed("网络错误")};

    for (int redirects = 0; redirects <= maxRedirects; ++redirects) {
        const auto parsed = SplitUrl(next);
        if (!parsed || (parsed->scheme != "http" && parsed->scheme != "https")) return {{}, Failed("网址无效")};
        Response response = FetchOnce(easy.get(), *parsed, limits, headers.get(), connectTo.get(), control);
        if (response.redirect.empty()) {
            FetchOutcome& outcome = response.outcome;
            // A stop says so; otherwise an answer that is no success says what the server answered.
            if (Stopped(control)) {
                outcome.whole = false;
                outcome.reason = Gbk("已停止");
            } else if (outcome.status > 0 && (outcome.status < 200 || outcome.status > 299)) {
                outcome.reason = JoinTexts(Gbk("服务器返回"), ToText(std::int64_t{outcome.status}));
            }
            return {std::move(response.body), std::move(outcome)};
        }
        next = response.redirect.substr(0, response.redirect.find('#'));
    }
    return {{}, Failed("重定向过多")};
}

} // namespace paveno
