// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace paveno::demo {

// A whole catalogue site made up on the fly: list pages of every category, covers, text-download pages,
// archives and the update server's answers. The paths of the five hosts do not overlap, so one server
// answers for all of them.
struct CatalogueOptions {
    int booksPerCategory = 45;
    // Above both sizes from which a book already in the library counts as present (30000 bytes finished, 300000
    // serialised), so that a rerun of any category finds its books there, as it would on a real site.
    std::size_t archiveBytes = 320000;
    std::size_t coverBytes = 6000; // above the 2000 bytes under which a cover is fetched again
    bool newerVersion = false;     // announce 1171 instead of this program's 1170
    bool lineFeedsOnly = false;    // write pages with LF line breaks instead of CR LF

    // Faults on request. An archive fault picks every K-th book of each category: the K-th, 2K-th, ... book of its
    // list (0 is off). A book that two of them pick takes the first of: fail, cut, drip.
    int failArchives = 0;  // the archive address answers 404 with an error page
    int cutArchives = 0;   // the archive announces its whole length, sends 40% of it and closes
    int dripArchives = 0;  // the archive comes one byte at a time, slowly
    int failPagesFrom = 0; // list pages numbered from this on answer 500 with an error page (1: every list page)
    // Every K-th book shows the site's placeholder picture, one small cover at one address (0 is off).
    int placeholderCovers = 0;

    // Archives answer conditional requests: each carries an ETag and a Last-Modified, and a request that names the
    // current one gets 304 without a body. Off, the site is one of today's: it sends neither and ignores both.
    bool validators = true;
    // Every K-th book of each category has a changed archive (0 is off): new bytes, a new ETag and a later
    // Last-Modified, from `changeAfterMs` after the site started on.
    int changeArchives = 0;
    std::int64_t changeAfterMs = 0;
    std::int64_t startedAt = 1767225600; // when the site started, in seconds since 1970; a change is dated from it
};

// Where the site keeps the picture of books that have none of their own.
inline constexpr char kPlaceholderCover[] = "nopic.jpg";

// The demo site signs its updater (at the updater's address + ".sig") with a test key of its own. A build with
// -DPAVENO_UPDATE_KEY=<kDemoUpdateKey> starts the demo's updater; any other key refuses it. Never use this key for a
// real site: its private half is written here.
inline constexpr char kDemoUpdateKey[] = "728c910c3b19195b812ae8b679be950116f6e3dd3c2bfe070f4f4a14fc0b7b7c";
inline constexpr char kDemoUpdateSeed[] = "d38b7385fc1f749fcd5d81f34718a9e4a6e5ff1cb768422e49bccce50cc87b2a";

enum class ArchiveFault { None, Fail, Cut, Drip };

// What of a request decides its answer.
struct Request {
    std::string path;                 // query and fragment already removed
    std::string ifNoneMatch = {};     // the header's value; empty when it was not sent
    std::string ifModifiedSince = {}; // likewise
    std::int64_t msSinceStart = 0;    // when it came, counted from the site's start
};

// How the server sends a body. What is sent is decided here; how fast is the server's business.
enum class Delivery {
    Whole,
    Cut,  // the Content-Length announces the whole body; `sentBytes` of it are sent, then the connection closes
    Drip, // the whole body, one byte at a time
};

struct Response {
    int status = 200;
    std::string contentType;
    ByteSet body;
    Delivery delivery = Delivery::Whole;
    std::size_t sentBytes = 0;                                     // for Delivery::Cut
    std::vector<std::pair<std::string, std::string>> headers = {}; // beyond Content-Type and Content-Length
};

struct Category {
    Text name;     // GBK, as the category combo boxes list it
    Text listPath; // the list-page address prefix, e.g. "/wanben/xh/tuijian"
    bool finished; // the 完本 kind
};

struct Book {
    int serial;
    Text title;          // GBK
    Text author;         // GBK
    Text intro;          // GBK
    Text coverName = {}; // the cover's file name when it is not the serial's own ("nopic.jpg")
};

class DemoCatalogue {
public:
    explicit DemoCatalogue(CatalogueOptions options = {});

    // The answer for a request; a 404 page for anything unknown.
    Response Answer(const Request& request) const;
    Response Answer(const std::string& path) const { return Answer(Request{path}); }

    static const std::vector<Category>& Categories();
    Book BookAt(int category, int index) const;
    int PageCount() const; // pages that hold books; the page after them is short and ends the category

    // A list page in the site's layout holding the given books. Public so that tests can build odd pages.
    Text ListPage(const Category& category, const std::vector<Book>& books) const;
    Text Entry(const Book& book) const;
    ByteSet Cover(int serial) const;
    // The archive as first published (generation 1) or as changed (generation 2).
    ByteSet Archive(int serial, int generation = 1) const;
    // The updater and its signature under the demo's test key.
    static ByteSet Updater();
    static ByteSet UpdaterSignature();
    // The fault that the options give the archive of the book with this serial.
    ArchiveFault ArchiveFaultOf(int serial) const;
    // The archive's generation at a time since the site's start: 2 once its change took effect, else 1.
    int ArchiveGeneration(int serial, std::int64_t msSinceStart) const;

private:
    std::optional<Response> ListPageAt(const std::string& path) const;
    Text Lines(Text text) const;
    Response ArchiveAt(int serial, const Request& request) const;
    bool Picks(int serial, int k) const;

    CatalogueOptions options_;
};

// A page in the site's layout that tells of an error ("404 Not Found"), a few kilobytes as real sites send them.
Response ErrorPage(int status);

// An HTTP date ("Sun, 06 Nov 1994 08:49:37 GMT") of a time in seconds since 1970, and back from any of the three
// forms HTTP allows (the above, "Sunday, 06-Nov-94 08:49:37 GMT", "Sun Nov  6 08:49:37 1994"); nullopt when it is
// none of them.
std::string HttpDate(std::int64_t seconds);
std::optional<std::int64_t> ParseHttpDate(std::string_view date);

// A JPEG of the given size in pixels, padded with a comment segment to at least `bytes` bytes.
ByteSet MakeJpeg(int width, int height, std::uint32_t seed, std::size_t bytes);

} // namespace paveno::demo
