// SPDX-License-Identifier: MIT
#include "tools/demosite/DemoCatalogue.h"

#include "BuildConfig.h"
#include "services/Gbk.h"
#include "services/Signature.h"
#include "services/TextOps.h"
#include "tools/jpeg/JpegEncoder.h"

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

ByteSet DemoCatalogue::Archive(int serial) const {
    ByteSet bytes = {'R', 'a', 'r', '!', 0x1A, 0x07, 0x00};
    bytes.resize(std::max<std::size_t>(options_.archiveBytes, bytes.size()));
    std::uint32_t state = static_cast<std::uint32_t>(serial) * 2654435761u + 1;
    for (std::size_t i = 7; i < bytes.size(); ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<std::uint8_t>(state >> 16);
    }
    return bytes;
}

Response DemoCatalogue::Answer(const std::string& path) const {
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
    if (auto serial = serialOf("/down/2011/", ".rar")) return ArchiveAt(*serial);
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

ArchiveFault DemoCatalogue::ArchiveFaultOf(int serial) const {
    const int place = serial % 1000 + 1; // the book's place in its category's list, from 1
    auto picks = [&](int k) { return k > 0 && place % k == 0; };
    if (picks(options_.failArchives)) return ArchiveFault::Fail;
    if (picks(options_.cutArchives)) return ArchiveFault::Cut;
    if (picks(options_.dripArchives)) return ArchiveFault::Drip;
    return ArchiveFault::None;
}

Response DemoCatalogue::ArchiveAt(int serial) const {
    const ArchiveFault fault = ArchiveFaultOf(serial);
    if (fault == ArchiveFault::Fail) return ErrorPage(404);
    Response answer = Page("application/x-rar-compressed", Archive(serial));
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

ByteSet MakeJpeg(int width, int height, std::uint32_t seed, std::size_t bytes) {
    const std::uint32_t r = 80 + seed * 37 % 150, g = 60 + seed * 91 % 160, b = 90 + seed * 53 % 140;
    return tools::EncodeJpeg({width, height, 3, 90, false, bytes}, [&](int x, int y) {
        const bool band = (y / 8 + x / 16) % 3 == 0; // a simple pattern so covers differ visibly
        return (band ? 255 - r : r) << 16 | ((g + static_cast<std::uint32_t>(y)) & 0xFF) << 8 | (band ? b / 2 : b);
    });
}

} // namespace paveno::demo
