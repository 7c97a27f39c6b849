// SPDX-License-Identifier: MIT
// Window data sources compiled and compared with checked-in listings (golden/ok/*.expected: the annotated block
// and the generated header) and error reports (golden/bad/*.errors). PAVENO_UPDATE_GOLDEN=1 rewrites them.
#include "forms/format/Dump.h"
#include "tools/wdc/WindowCompiler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

namespace paveno::wdc {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<fs::path> Sources(const fs::path& dir) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        if (e.path().extension() == ".json") out.push_back(e.path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

// The first differing line, so a mismatch reads like a diff.
std::string FirstDifference(const std::string& want, const std::string& got) {
    std::istringstream a(want), b(got);
    std::string la, lb;
    for (int line = 1;; ++line) {
        bool ha = static_cast<bool>(std::getline(a, la)), hb = static_cast<bool>(std::getline(b, lb));
        if (!ha && !hb) return "identical";
        if (la != lb || ha != hb) {
            return "line " + std::to_string(line) + "\n- " + (ha ? la : "<end>") + "\n+ " + (hb ? lb : "<end>");
        }
    }
}

void Compare(const fs::path& expectedFile, const std::string& got) {
    if (std::getenv("PAVENO_UPDATE_GOLDEN")) {
        std::ofstream(expectedFile, std::ios::binary) << got;
        return;
    }
    ASSERT_TRUE(fs::exists(expectedFile)) << expectedFile;
    std::string want = Read(expectedFile);
    EXPECT_EQ(want, got) << expectedFile.filename() << ": " << FirstDifference(want, got);
}

CompileOptions Options() {
    CompileOptions o;
    o.name = "Golden";
    o.ns = "golden";
    o.sourceName = "golden source";
    o.defines = {{"PICTURE_HOST", "pic.nv.example"}};
    return o;
}

TEST(CompilerGolden, SourcesCompileToTheirListings) {
    const fs::path dir = fs::path(PAVENO_GOLDEN_DIR) / "ok";
    auto sources = Sources(dir);
    ASSERT_FALSE(sources.empty());
    for (const auto& src : sources) {
        SCOPED_TRACE(src.filename().string());
        CompileResult r = CompileWindowSource(Read(src), dir, Options());
        ASSERT_TRUE(r.problems.empty()) << FormatProblems(src.filename().string(), r.problems);
        std::string listing =
            format::DumpWindowData(r.block) + "---- header\n" + r.header + "---- handlers\n" + r.handlerList;
        Compare(fs::path(src).replace_extension(".expected"), listing);
        // The embedding source holds the block byte for byte.
        EXPECT_NE(r.source.find("kBlock[" + std::to_string(r.block.size()) + "]"), std::string::npos);
    }
}

TEST(CompilerGolden, MalformedSourcesReportEveryProblemWithItsPlace) {
    const fs::path dir = fs::path(PAVENO_GOLDEN_DIR) / "bad";
    auto sources = Sources(dir);
    ASSERT_FALSE(sources.empty());
    for (const auto& src : sources) {
        SCOPED_TRACE(src.filename().string());
        CompileResult r = CompileWindowSource(Read(src), dir, Options());
        EXPECT_FALSE(r.problems.empty());
        EXPECT_TRUE(r.block.empty());
        Compare(fs::path(src).replace_extension(".errors"), FormatProblems(src.filename().string(), r.problems));
    }
}

TEST(CompilerGolden, SyntaxErrorsNameLineAndColumn) {
    struct Case {
        const char* source;
        const char* place;
    };
    const Case cases[] = {
        {"{\n  \"windows\": [\n    1,\n  ]\n}", "line 4, column 3"},
        {"{\"windows\": [", "line 1, column 14"},
        {"", "line 1, column 1"},
        {"[1, 2]", "top"},
    };
    for (const auto& c : cases) {
        CompileResult r = CompileWindowSource(c.source, ".", Options());
        ASSERT_EQ(r.problems.size(), 1u) << c.source;
        EXPECT_EQ(r.problems[0].place, c.place) << c.source << ": " << r.problems[0].message;
    }
}

} // namespace
} // namespace paveno::wdc
