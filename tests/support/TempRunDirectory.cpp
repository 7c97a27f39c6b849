// SPDX-License-Identifier: MIT
#include "tests/support/TempRunDirectory.h"

#include "services/Gbk.h"
#include "services/RunDirectory.h"

#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace paveno::test {

TempRunDirectory::TempRunDirectory() {
    std::string templ = (std::filesystem::temp_directory_path() / "paveno-test-XXXXXX").string();
    if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = templ;
}

TempRunDirectory::~TempRunDirectory() {
    std::error_code ec;
    // Entries made unreadable by a test must not keep the folder alive.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ec);
    }
    std::filesystem::remove_all(path_, ec);
}

std::string TempRunDirectory::gbkPath() const {
    return Utf8ToGbkLossy(path_.string());
}

RunDirectoryScope::RunDirectoryScope(const std::filesystem::path& path) : saved_(GetRunDirectory()) {
    SetRunDirectory(Utf8ToGbkLossy(path.string()));
}

RunDirectoryScope::~RunDirectoryScope() {
    SetRunDirectory(saved_);
}

} // namespace paveno::test
