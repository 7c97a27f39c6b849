// SPDX-License-Identifier: MIT
#pragma once

#include "services/Text.h"

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace paveno::wdc {

struct Problem {
    std::string place; // "line 3, column 7" for a syntax error, else a path such as 主窗口.按钮3.properties.caption
    std::string message;
};

struct CompileOptions {
    std::string name = "WindowData";            // base name of the generated files
    std::string ns = "windows";                 // C++ namespace of the generated constants
    std::map<std::string, std::string> defines; // ${NAME} in texts is replaced by the value (UTF-8)
    std::string sourceName = "window data";     // named in the generated files' first line
};

struct CompileResult {
    std::vector<Problem> problems; // nothing below is meaningful when this is not empty
    ByteSet block;
    std::string header;                        // id constants, handler declarations and names
    std::string source;                        // the embedded block, the handler table and the program header
    std::string handlerList;                   // one handler name a line, in table order
    std::vector<std::filesystem::path> inputs; // the picture and blob files read
};

// Parses, validates and writes. `baseDir` is where file names of pictures are looked up.
CompileResult CompileWindowSource(std::string_view json, const std::filesystem::path& baseDir,
                                  const CompileOptions& options);

std::string FormatProblems(const std::string& sourceName, const std::vector<Problem>& problems);

} // namespace paveno::wdc
