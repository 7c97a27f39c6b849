// SPDX-License-Identifier: MIT
#pragma once

#include "app/Properties.h"
#include "tests/app/AppFixture.h"
#include "tools/demosite/DemoCatalogue.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace paveno::test {

inline std::string Utf8(const Text& gbk) {
    return GbkToUtf8Lossy(gbk);
}

inline std::string FileText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteSized(const std::filesystem::path& path, std::size_t bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << std::string(bytes, 'x');
}

// Runs collections against list pages made from the demo catalogue's layout, served by the local site.
class CollectionTest : public AppTest {
protected:
    // Category 0 of each kind: 玄幻小说 (finished) and 玄幻奇幻 (serialised, index 16 of the demo's list).
    static const demo::Category& Finished() { return demo::DemoCatalogue::Categories()[0]; }
    static const demo::Category& Serialised() { return demo::DemoCatalogue::Categories()[16]; }

    static demo::Book MakeBook(int serial, std::string_view title, std::string_view intro = "一段简介。") {
        return demo::Book{serial, Gbk(title), Gbk("作者") + Gbk(title), Gbk(intro)};
    }

    // Serves page `page` of a category holding these entries (each entry text as the site writes it); an answer
    // `heldBy` a gate waits for it to open.
    void ServePage(const demo::Category& category, int page, const std::vector<Text>& entries, bool lfOnly = false,
                   std::shared_ptr<SiteGate> heldBy = nullptr) {
        Text body = site.ListPage(category, {});
        const Text head = "<div class=\"bl-page clear\"> \r\n\r\n\r\n";
        // Real list pages carry a lot of markup around the list; pages under 3000 bytes would end the category.
        Text all = "<!-- " + Text(3000, '-') + " -->\r\n";
        for (const auto& e : entries)
            all += e;
        body.insert(body.find(head) + head.size(), all);
        if (lfOnly) std::erase(body, '\r');
        SiteResponse response = SiteResponse::Page(body);
        response.heldBy = std::move(heldBy);
        site_.respond(category.listPath + std::to_string(page) + ".html", response);
    }
    void ServeBooks(const demo::Category& category, int page, const std::vector<demo::Book>& books, bool lfOnly = false,
                    std::shared_ptr<SiteGate> heldBy = nullptr) {
        std::vector<Text> entries;
        for (const auto& b : books)
            entries.push_back(site.Entry(b));
        ServePage(category, page, entries, lfOnly, std::move(heldBy));
    }
    // The files of a book: text page, cover and archive.
    void ServeFiles(int serial, std::size_t archiveBytes = 40000, std::size_t coverBytes = 5000) {
        const std::string s = std::to_string(serial);
        site_.serve("/txt/" + s + "txt.html", "<html>download page</html>");
        site_.serve("/dianzishu/UploadPic/" + s + ".jpg", std::string(coverBytes, 'c'));
        site_.serve("/down/2011/" + s + ".rar", std::string(archiveBytes, 'r'));
    }

    // Chooses kind, category and pages as a user does, then presses 采集. The summary is answered with `answer`.
    // `beforeClick` runs once the program has started, for settings that a start would reset.
    void Collect(bool finished, int category, std::string_view pages, int answer = forms::kAnswerOk,
                 bool overwrite = false, const std::function<void()>& beforeClick = {}) {
        ASSERT_TRUE(Start());
        if (beforeClick) beforeClick();
        Type(W::主窗口::id, W::主窗口::编辑框2, "0"); // no pauses between pages and books
        Click(W::主窗口::id, W::主窗口::按钮3);
        Click(W::主窗口::id, finished ? W::主窗口::单选框1 : W::主窗口::单选框2);
        Pick(W::主窗口::id, finished ? W::主窗口::完本类 : W::主窗口::连载类, category);
        app::WriteText(W::主窗口::id, W::主窗口::编辑框1, forms::EditBox::kContent, Gbk(pages));
        app::WriteLogical(W::主窗口::id, W::主窗口::选择框1, forms::CheckButton::kChecked, overwrite);
        box_.answers = {answer};
        Click(W::主窗口::id, W::主窗口::按钮2);
        Settle();
    }

    int Requests(std::string_view prefix) const {
        int n = 0;
        for (const auto& r : site_.requests())
            n += r.target.rfind(prefix, 0) == 0;
        return n;
    }
    std::string Summary() const { return BoxTexts().empty() ? "" : BoxTexts().back(); }
    // The line a summary ends with when books failed.
    std::string FailureLine() const { return "\r\n失败的小说及原因见：" + At("小说/失败记录.txt").string(); }
    static std::string Report() { return Utf8(Read(W::等待窗口::id, W::等待窗口::编辑框1, forms::RichEdit::kContent)); }

    demo::DemoCatalogue site;
};

} // namespace paveno::test
