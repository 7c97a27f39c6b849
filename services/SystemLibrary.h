// SPDX-License-Identifier: MIT
// System libraries loaded by name when the program first needs them, rather than linked: every library linked is
// loaded, with all of its own, before main, and so delays each start. libcurl (30 libraries) is loaded while the
// windows are built; libarchive and libcrypto, which only a rare archive and the update check need, when they do.
#pragma once

#include <dlfcn.h>

namespace paveno {

// Sets `call` to the library's function `name`; false when it has none.
template <typename Call> bool FindCall(void* library, const char* name, Call& call) {
    call = reinterpret_cast<Call>(dlsym(library, name));
    return call != nullptr;
}

// Loads the library of that file name with its symbols kept to itself (RTLD_LOCAL), so that none of its libraries'
// names stands for one of the program's, and lets `findAll(library, calls)` fill the table of its calls (and set it
// up). The table, kept with the library for the life of the process; null, with nothing kept, when the library cannot
// be loaded or `findAll` fails.
template <typename Calls, typename FindAll> const Calls* LoadSystemLibrary(const char* file, FindAll findAll) {
    void* library = dlopen(file, RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    Calls calls{};
    if (!findAll(library, calls)) {
        dlclose(library);
        return nullptr;
    }
    return new Calls(calls);
}

} // namespace paveno
