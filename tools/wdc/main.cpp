// SPDX-License-Identifier: MIT
// paveno-wdc: compiles a window data source (JSON) into the binary block, a C++ source that embeds it, a header of
// id constants and handler declarations, and the handler list. Outputs are replaced only when their content
// changes, so an unchanged source rebuilds nothing downstream.
//
//   paveno-wdc SOURCE --out-dir DIR [--name NAME] [--namespace NS] [--define KEY=VALUE]... [--depfile FILE]
//   paveno-wdc --dump BLOCK.bin
#include "forms/format/Dump.h"
#include "tools/wdc/WindowCompiler.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace {

std::string ReadFile(const std::filesystem::path& path, bool& ok) {
    std::ifstream in(path, std::ios::binary);
    ok = static_cast<bool>(in);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes through a temporary file and keeps the old file (and its time) when nothing changed.
bool WriteIfChanged(const std::filesystem::path& path, std::string_view content) {
    bool exists = false;
    if (ReadFile(path, exists) == content && exists) return true;
    std::filesystem::path temp = path;
    temp += ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out) return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    return !ec;
}

std::string DepfileEscape(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c == ' ' || c == '#') out += '\\';
        if (c == '$') out += '$';
        out += c;
    }
    return out;
}

int Usage() {
    std::fprintf(stderr, "usage: paveno-wdc SOURCE --out-dir DIR [--name NAME] [--namespace NS] "
                         "[--define KEY=VALUE]... [--depfile FILE]\n       paveno-wdc --dump BLOCK.bin\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 2 && args[0] == "--dump") {
        bool ok = false;
        std::string bytes = ReadFile(args[1], ok);
        if (!ok) {
            std::fprintf(stderr, "paveno-wdc: cannot read %s\n", args[1].c_str());
            return 1;
        }
        std::cout << paveno::format::DumpWindowData(
            {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
        return 0;
    }
    std::filesystem::path source, outDir, depfile;
    paveno::wdc::CompileOptions options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        auto value = [&]() -> std::string { return i + 1 < args.size() ? args[++i] : std::string(); };
        if (args[i] == "--out-dir")
            outDir = value();
        else if (args[i] == "--name")
            options.name = value();
        else if (args[i] == "--namespace")
            options.ns = value();
        else if (args[i] == "--depfile")
            depfile = value();
        else if (args[i] == "--define") {
            std::string kv = value();
            auto eq = kv.find('=');
            if (eq == std::string::npos) return Usage();
            options.defines[kv.substr(0, eq)] = kv.substr(eq + 1);
        } else if (!args[i].starts_with("--") && source.empty())
            source = args[i];
        else
            return Usage();
    }
    if (source.empty() || outDir.empty()) return Usage();
    bool ok = false;
    std::string text = ReadFile(source, ok);
    if (!ok) {
        std::fprintf(stderr, "paveno-wdc: cannot read %s\n", source.c_str());
        return 1;
    }
    options.sourceName = source.filename().string();
    auto result = paveno::wdc::CompileWindowSource(text, source.parent_path(), options);
    if (!result.problems.empty()) {
        std::fputs(paveno::wdc::FormatProblems(source.string(), result.problems).c_str(), stderr);
        std::fprintf(stderr, "paveno-wdc: %zu problem(s), nothing written\n", result.problems.size());
        return 1;
    }
    std::filesystem::create_directories(outDir);
    std::string_view block(reinterpret_cast<const char*>(result.block.data()), result.block.size());
    bool written = WriteIfChanged(outDir / "windowdata.bin", block) &&
                   WriteIfChanged(outDir / (options.name + ".h"), result.header) &&
                   WriteIfChanged(outDir / (options.name + ".cpp"), result.source) &&
                   WriteIfChanged(outDir / (options.name + ".handlers.txt"), result.handlerList);
    if (written && !depfile.empty()) {
        std::string dep = DepfileEscape((outDir / (options.name + ".cpp")).string()) + ":";
        dep += " " + DepfileEscape(std::filesystem::absolute(source).lexically_normal().string());
        for (const auto& in : result.inputs)
            dep += " " + DepfileEscape(std::filesystem::absolute(in).string());
        written = WriteIfChanged(depfile, dep + "\n");
    }
    if (!written) {
        std::fprintf(stderr, "paveno-wdc: cannot write into %s\n", outDir.c_str());
        return 1;
    }
    return 0;
}
