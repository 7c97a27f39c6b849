// SPDX-License-Identifier: MIT
#include "tools/demosite/DemoCatalogue.h"

#include "BuildConfig.h"
#include "services/Gbk.h"
#include "services/Signature.h"
#include "services/TextOps.h"
#include "tools/jpeg/JpegEncoder.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace paveno::demo {
namespace {

// The site's pages are written here in UTF-8 and sent as GBK.
Text G(std::string_view utf8) {
    return Gbk(utf8);
}

const char* const kFinished[][2] = {
    {"玄幻小说", "/wanben/xh/tuijian"},      {"都市小说", "/wanben/ds/tuijian"},
    {"言情小说", "/wanben/yq/tuijian"},      {"黑道小说", "/wanben/heidao/tuijian"},
    {"修真小说", "/wanben/xiuzhen/tuijian"}, {"奇幻小说", "/wanben/qh/tuijian"},
    {"仙侠小说", "/wanben/xx/tuijian"},      {"武侠小说", "/wanben/wx/tuijian"},
    {"网游小说", "/wanben/wy/tuijian"},      {"科幻小说", "/wanben/kh/tuijian"},
    {"军事小说", "/wanben/js/tuijian"},      {"历史小说", "/wanben/ls/tuijian"},
    {"同人小说", "/wanben/dm/tuijian"},      {"穿越小说", "/wanben/cy/tuijian"},
    {"总裁小说", "/wanben/zcxs/tuijian"},    {"校园小说", "/wanben/xiaoyuan/tuijian"},
};
const char* const kSerialised[][2] = {
    {"玄幻奇幻", "/xuanhuan/list1-"}, {"武侠仙侠", "/wuxia/list2-"},    {"都市小说", "/dushi/list3-"},
    {"言情小说", "/yanqing/list4-"},  {"历史军事", "/lishi/list5-"},    {"网游竞技", "/youxi/list6-"},
    {"科幻灵异", "/kehuan/list7-"},   {"同人小说", "/tongren/list40-"},
};

// Title words: one per category, so that titles never repeat across the site.
const char* const kCategoryWords[] = {"星河", "霓虹", "青梅", "江湖", "丹道", "龙域", "云霄", "剑影",
                                      "幻境", "机甲", "铁血", "长安", "同归", "时空", "豪门", "书院",
                                      "苍穹", "侠客", "都市", "红尘", "烽火", "天梯", "异闻", "回响"};
const char* const kWordsA[] = {"风", "雪", "月", "山", "海", "火", "梦", "光", "影", "雷"};
const char* const kWordsB[] = {"行", "歌", "录", "传", "记", "志", "诀", "曲", "说", "谣"};
const char* const kSurnames[] = {"林", "叶", "苏", "陈", "萧", "唐", "楚", "白", "沈", "顾"};
const char* const kGivenNames[] = {"青山", "墨白", "无忌", "若水", "长风", "听雨", "一舟", "半夏", "知秋", "南星"};

constexpr int kBooksPerPage = 20;
constexpr int kOwnVersion = 1170;
constexpr std::int64_t kFirstPublished = 1735732800; // 2025-01-01 12:00:00 UTC

const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Whether an If-None-Match list ("*", or tags separated by commas) names `tag`. Weak tags compare by their value, as
// a GET's conditions do.
bool ListNames(std::string_view list, std::string_view tag) {
    auto opaque = [](std::string_view t) { return t.starts_with("W/") ? t.substr(2) : t; };
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        std::string_view item = list.substr(0, comma);
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
        while (!item.empty() && (item.front() == ' ' || item.front() == '\t'))
            item.remove_prefix(1);
        while (!item.empty() && (item.back() == ' ' || item.back() == '\t'))
            item.remove_suffix(1);
        if (item == "*" || (!item.empty() && opaque(item) == opaque(tag))) return true;
    }
    return false;
}

// A request's conditions hold for an archive that has not changed since the client's copy: its If-None-Match names
// the current tag, or, when it sent none, its If-Modified-Since is not before the archive's Last-Modified. A date
// that is not one is ignored, as if it were not sent.
bool Unchanged(const Request& request, std::string_view tag, std::int64_t modified) {
    if (!request.ifNoneMatch.empty()) return ListNames(request.ifNoneMatch, tag);
    if (request.ifModifiedSince.empty()) return false;
    const auto since = ParseHttpDate(request.ifModifiedSince);
    return since && *since >= modified;
}

Text Decimal(long long n) {
    return ToText(static_cast<std::int64_t>(n));
}

Response Page(std::string contentType, ByteSet body, int status = 200) {
    return Response{status, std::move(contentType), std::move(body)};
}

} // namespace

DemoCatalogue::DemoCatalogue(CatalogueOptions options) : options_(options) {}

const std::vector<Category>& DemoCatalogue::Categories() {
    static const std::vector<Category> categories = [] {
        std::vector<Category> all;
        for (const auto& c : kFinished)
            all.push_back({G(c[0]), c[1], true});
        for (const auto& c : kSerialised)
            all.push_back({G(c[0]), c[1], false});
        return all;
    }();
    return categories;
}

Book DemoCatalogue::BookAt(int category, int index) const {
    Book book;
    book.serial = 100000 + category * 1000 + index;
    book.title =
        G(std::string(kCategoryWords[category % 24]) + "之" + kWordsA[index % 10] + kWordsB[(index / 10) % 10]);
    if (index >= 100) book.title += Decimal(index / 100);
    book.author = G(std::string(kSurnames[(category + index) % 10]) + kGivenNames[(category * 3 + index) % 10]);
    book.intro = G("　　《") + book.title +
                 G("》讲述了一段跌宕起伏的故事。少年离开家乡，踏上未知的旅途，在风雨中结识知己，"
                   "于绝境里寻得转机。欢迎下载阅读。");
    if (options_.placeholderCovers > 0 && (index + 1) % options_.placeholderCovers == 0)
        book.coverName = kPlaceholderCover;
    return book;
}

int DemoCatalogue::PageCount() const {
    return (options_.booksPerCategory + kBooksPerPage - 1) / kBooksPerPage;
}

Text DemoCatalogue::Lines(Text text) const {
    if (!options_.lineFeedsOnly) return text;
    std::erase(text, '\r');
    return text;
}

Text DemoCatalogue::Entry(const Book& book) const {
    const Text serial = Decimal(book.serial);
    const Text link = JoinTexts(Text("http://"), build::kListHost, "/Book/", serial, ".html");
    return JoinTexts(
        Text("<dl>\r\n\t                  <dt><a target=\"_blank\" href=\""), link, "\"><img src=\"http://",
        build::kPictureHost, "/dianzishu/UploadPic/", book.coverName.empty() ? serial + ".jpg" : book.coverName,
        "\" width=\"80\" height=\"104\" border=\"0\"/></a></dt>\r\n                 \t  <dd>\r\n\t                    "
        "<ul>\r\n                              <li class=\"btou\"><span class=\"book-name\"><a href=\"",
        link, "\" target=\"_blank\">", G("《"), book.title, G("》</a></span>&nbsp; <span>作者：</span>"), book.author,
        G("<span class=\"book-namvv\"></span></li>\r\n\t\t<li><span>格式：</span>RAR</li>\r\n\t\t<li><a href=\""), link,
        "\" target=\"_blank\"><span class=\"book-info\">", book.intro,
        "&nbsp;</span></a></li>\r\n\t      </ul>\r\n\t                </dd>\r\n\t               </dl>\r\n");
}

Text DemoCatalogue::ListPage(const Category& category, const std::vector<Book>& books) const {
    Text page = G("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
                  "charset=gbk\" />\r\n<title>") +
                category.name + G(" - 小说下载</title>\r\n</head>\r\n<body>\r\n<div class=\"main\">\r\n") +
                "   <div class=\"mainListInfo\">\r\n                       <div class=\"bl-page clear\"> \r\n\r\n\r\n";
    for (const auto& book : books)
        page += Entry(book);
    page += category.finished ? "                        </div></div>\r\n\t\t\t</div>\r\n\r\n\t\t\t\t<div "
                                "class=\"mainNextPage\" id=\"NextPageText\">"
                              : "\t\t\t\t\t\t/div></div>\r\n\t\t\t</div>\r\n\t\t<div class=\"mainNextPage\">";
    page += G("<a href=\"#\">下一页</a></div>\r\n</div>\r\n</body>\r\n</html>\r\n");
    return Lines(page);
}

std::optional<Response> DemoCatalogue::ListPageAt(const std::string& path) const {
    const auto& categories = Categories();
    for (size_t c = 0; c < categories.size(); ++c) {
        const auto& category = categories[c];
        if (path.rfind(category.listPath, 0) != 0 || !path.ends_with(".html")) continue;
        const std::string number = path.substr(category.listPath.size(), path.size() - category.listPath.size() - 5);
        if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number.size() > 6) {
            continue;
        }
        const int page = std::stoi(number);
        if (page < 1) continue;
        if (options_.failPagesFrom > 0 && page >= options_.failPagesFrom) return ErrorPage(500);
        std::vector<Book> books;
        for (int i = (page - 1) * kBooksPerPage; i < std::min(page * kBooksPerPage, options_.booksPerCategory); ++i) {
            books.push_back(BookAt(static_cast<int>(c), i));
        }
        if (books.empty()) { // past the last page: a short page that ends the category
            return Page("text/html; charset=gbk",
                        BytesOf(Lines(G("<html><body><p>本类小说已全部列出。</p></body></html>\r\n"))));
        }
        return Page("text/html; charset=gbk", BytesOf(ListPage(category, books)));
    }
    return std::nullopt;
}

ByteSet DemoCatalogue::Cover(int serial) const {
    return MakeJpeg(80, 104, static_cast<std::uint32_t>(serial), options_.coverBytes);
}

ByteSet DemoCatalogue::Archive(int serial, int generation) const {
    ByteSet bytes = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
    bytes.resize(std::max<std::size_t>(options_.archiveBytes, bytes.size()));
    std::uint32_t state = static_cast<std::uint32_t>(serial) * 2654435761u + static_cast<std::uint32_t>(generation);
    for (std::size_t i = 7; i < bytes.size(); ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

Response DemoCatalogue::Answer(const Request& request) const {
    const std::string& path = request.path;
    auto serialOf = [&](std::string_view prefix, std::string_view suffix) -> std::optional<int> {
        if (!path.starts_with(prefix) || !path.ends_with(suffix)) return std::nullopt;
        const std::string digits = path.substr(prefix.size(), path.size() - prefix.size() - suffix.size());
        if (digits.empty() || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos) {
            return std::nullopt;
        }
        return std::stoi(digits);
    };

    if (auto page = ListPageAt(path)) return *page;
    if (auto serial = serialOf("/dianzishu/UploadPic/", ".jpg")) return Page("image/jpeg", Cover(*serial));
    if (path == std::string("/dianzishu/UploadPic/") + kPlaceholderCover)
        return Page("image/jpeg", MakeJpeg(8, 8, 0, 0));
    if (auto serial = serialOf("/down/2011/", ".rar")) return ArchiveAt(*serial, request);
    if (auto serial = serialOf("/txt/", "txt.html")) {
        const Text page = G("<html><head><title>TXT下载</title></head><body>\r\n<div class=\"download\"><ul>"
                            "<li><a class=\"dla\" href=\"http://") +
                          build::kBookHost + "/down/2011/" + Decimal(*serial) +
                          G(".rar\" title=\"TXT全集下载\" onmousedown=\"godownload();\">本地下载</a></li></ul></div>"
                            "\r\n</body></html>\r\n");
        return Page("text/html; charset=gbk", BytesOf(Lines(page)));
    }
    if (path == "/pavenobk/banben") return Page("text/plain", BytesOf(Decimal(kOwnVersion + options_.newerVersion)));
    if (path == "/pavenobk/gengxincx") {
        return Page("text/plain",
                    BytesOf(JoinTexts(Text("http://"), build::kUpdateHost, "/pavenobk/Paveno-update.exe")));
    }
    if (path == "/pavenobk/Paveno-update.exe") return Page("application/octet-stream", Updater());
    if (path == "/pavenobk/Paveno-update.exe.sig") return Page("application/octet-stream", UpdaterSignature());
    return ErrorPage(404);
}

ByteSet DemoCatalogue::Updater() {
    return BytesOf("#!/bin/sh\necho 'Paveno demo updater: nothing to do.'\n");
}

ByteSet DemoCatalogue::UpdaterSignature() {
    return SignWithSeed(*KeyFromHex(kDemoUpdateSeed), Updater());
}

bool DemoCatalogue::Picks(int serial, int k) const {
    const int place = serial % 1000 + 1; // the book's place in its category's list, from 1
    return k > 0 && place % k == 0;
}

ArchiveFault DemoCatalogue::ArchiveFaultOf(int serial) const {
    if (Picks(serial, options_.failArchives)) return ArchiveFault::Fail;
    if (Picks(serial, options_.cutArchives)) return ArchiveFault::Cut;
    if (Picks(serial, options_.dripArchives)) return ArchiveFault::Drip;
    return ArchiveFault::None;
}

int DemoCatalogue::ArchiveGeneration(int serial, std::int64_t msSinceStart) const {
    return Picks(serial, options_.changeArchives) && msSinceStart >= options_.changeAfterMs ? 2 : 1;
}

Response DemoCatalogue::ArchiveAt(int serial, const Request& request) const {
    const ArchiveFault fault = ArchiveFaultOf(serial);
    if (fault == ArchiveFault::Fail) return ErrorPage(404);
    const int generation = ArchiveGeneration(serial, request.msSinceStart);
    Response answer = Page("application/x-rar-compressed", Archive(serial, generation));
    if (options_.validators) {
        // First published long before any run; a change is dated no earlier than the moment it took effect (the
        // start is known to the second), and always after the first publication.
        const std::int64_t modified =
            generation == 1
                ? kFirstPublished + serial % 1000 * 60
                : std::max(options_.startedAt + 1 + (options_.changeAfterMs + 999) / 1000, kFirstPublished + 1000 * 60);
        const std::string tag = "\"" + std::to_string(serial) + "-" + std::to_string(generation) + "\"";
        answer.headers = {{"ETag", tag}, {"Last-Modified", HttpDate(modified)}};
        if (Unchanged(request, tag, modified)) {
            // No body; a length, if one is sent, must be the whole archive's.
            answer.headers.emplace_back("Content-Length", std::to_string(answer.body.size()));
            answer.status = 304;
            answer.contentType.clear();
            answer.body.clear();
            return answer;
        }
    }
    if (fault == ArchiveFault::Cut) {
        answer.delivery = Delivery::Cut;
        answer.sentBytes = answer.body.size() * 2 / 5;
    } else if (fault == ArchiveFault::Drip) {
        answer.delivery = Delivery::Drip;
    }
    return answer;
}

Response ErrorPage(int status) {
    const bool missing = status == 404;
    const Text headline = missing ? Text("404 Not Found") : Decimal(status) + " Internal Server Error";
    Text page =
        G("<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
          "charset=gbk\" />\r\n<title>") +
        headline +
        G(" - 小说下载</title>\r\n<style type=\"text/css\">\r\nbody{margin:0;font:12px/1.8 "
          "\"宋体\",Arial;color:#333;background:#f5f5f5}\r\n.top{height:32px;background:#1d6fb8;color:#fff;"
          "padding:0 20px;line-height:32px}\r\n.box{width:760px;margin:40px auto;background:#fff;border:1px "
          "solid #ddd;padding:30px}\r\n.box h1{font-size:22px;color:#c00}\r\n.nav li{display:inline-block;"
          "width:120px}\r\n.foot{text-align:center;color:#999;padding:20px}\r\n</style>\r\n</head>\r\n"
          "<body>\r\n<div class=\"top\">小说下载 - 全本小说TXT免费下载</div>\r\n<div class=\"box\">\r\n<h1>") +
        headline + "</h1>\r\n<p>" +
        (missing ? G("对不起，您要访问的页面不存在，或者该文件已被删除。") : G("服务器内部错误，请稍后再试。")) +
        G("</p>\r\n<p>您可以返回<a href=\"http://") + build::kListHost +
        G("/\">网站首页</a>，或者从下面的分类中继续寻找您喜欢的小说：</p>\r\n<ul class=\"nav\">\r\n");
    for (const auto& category : DemoCatalogue::Categories()) {
        page += JoinTexts(Text("<li><a href=\"http://"), build::kListHost, category.listPath, "1.html", "\" title=\"",
                          category.name, G("TXT下载\">"), category.name, "</a></li>\r\n");
    }
    page += G("</ul>\r\n</div>\r\n<div class=\"foot\">本站所有小说均由网友上传，仅供试读，请在下载后24小时内删除。"
              "<br />Copyright &copy; 小说下载 All Rights Reserved.</div>\r\n</body>\r\n</html>\r\n");
    return Page("text/html; charset=gbk", BytesOf(page), status);
}

std::string HttpDate(std::int64_t seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char date[40];
    std::snprintf(date, sizeof date, "%s, %02d %s %04d %02d:%02d:%02d GMT", kWeekdays[utc.tm_wday], utc.tm_mday,
                  kMonths[utc.tm_mon], utc.tm_year + 1900, utc.tm_hour, utc.tm_min, utc.tm_sec);
    return date;
}

std::optional<std::int64_t> ParseHttpDate(std::string_view date) {
    const std::string text(date);
    char weekday[16] = {}, month[4] = {};
    int day = 0, year = 0, hour = 0, minute = 0, second = 0, end = -1;
    // A form is read only when it takes every character; the weekday is not checked against the date.
    auto whole = [&](int fields) {
        const bool read = fields == 7 && end == static_cast<int>(text.size());
        end = -1;
        return read;
    };
    const char* s = text.c_str();
    if (whole(std::sscanf(s, "%3[A-Za-z], %2d %3[A-Za-z] %4d %2d:%2d:%2d GMT%n", weekday, &day, month, &year, &hour,
                          &minute, &second, &end))) {
    } else if (whole(std::sscanf(s, "%9[A-Za-z], %2d-%3[A-Za-z]-%2d %2d:%2d:%2d GMT%n", weekday, &day, month, &year,
                                 &hour, &minute, &second, &end))) {
        year += year < 70 ? 2000 : 1900;
    } else if (!whole(std::sscanf(s, "%3[A-Za-z] %3[A-Za-z] %2d %2d:%2d:%2d %4d%n", weekday, month, &day, &hour,
                                  &minute, &second, &year, &end))) {
        return std::nullopt;
    }
    const auto named = std::find_if(std::begin(kMonths), std::end(kMonths),
                                    [&](const char* m) { return month == std::string_view(m); });
    if (named == std::end(kMonths) || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 60 || year < 1970)
        return std::nullopt;
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = static_cast<int>(named - std::begin(kMonths));
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    return static_cast<std::int64_t>(timegm(&utc));
}

ByteSet MakeJpeg(int width, int height, std::uint32_t seed, std::size_t bytes) {
    const std::uint32_t r = 80 + seed * 37 % 150, g = 60 + seed * 91 % 160, b = 90 + seed * 53 % 140;
    return tools::EncodeJpeg({width, height, 3, 90, false, bytes}, [&](int x, int y) {
        const bool band = (y / 8 + x / 16) % 3 == 0; // a simple pattern so covers differ visibly
        return (band ? 255 - r : r) << 16 | ((g + static_cast<std::uint32_t>(y)) & 0xFF) << 8 | (band ? b / 2 : b);
    });
}

} // namespace paveno::demo
