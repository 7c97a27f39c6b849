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

// Makes a folder the services' run directory (where every relative path given to the file layer lands), and puts the
// old one back afterwards.
class RunDirectoryScope {
public:
    explicit RunDirectoryScope(const std::filesystem::path& path);
    ~RunDirectoryScope();
    RunDirectoryScope(const RunDirectoryScope&) = delete;
    RunDirectoryScope& operator=(const RunDirectoryScope&) = delete;

private:
    std::string saved_;
};

// Makes a folder the process's working folder, and puts the old one back afterwards. The library never depends on
// it; tests use it to show that.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::filesystem::path& path) : saved_(std::filesystem::current_path()) {
        std::filesystem::current_path(path);
    }
    ~CurrentDirectory() { std::filesystem::current_path(saved_); }
    CurrentDirectory(const CurrentDirectory&) = delete;
    CurrentDirectory& operator=(const CurrentDirectory&) = delete;

private:
    std::filesystem::path saved_;
};

} // namespace paveno::test
