// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>

namespace paveno::test {

// A fresh folder under the system's temporary folder, removed with everything in it when the test ends.
class TempRunDirectory {
public:
    TempRunDirectory();
    ~TempRunDirectory();
    TempRunDirectory(const TempRunDirectory&) = delete;
    TempRunDirectory& operator=(const TempRunDirectory&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // The folder as a GBK text with backslashes, the form in which handlers build their paths.
    std::string gbkPath() const;

private:
    std::filesystem::path path_;
};

} // namespace paveno::test
