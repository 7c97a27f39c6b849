// SPDX-License-Identifier: MIT
#pragma once

namespace paveno::app {

// Fills the library window's hidden hint list with the book names of the archives in the folder its file box shows.
// The window's own handlers call it after every change of folder; code that writes the file box's folder from
// outside (the end of a collection) calls it too, since that write raises no event.
void RefreshLibraryHints();

} // namespace paveno::app
