// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace paveno::app {

// The Ed25519 public key (64 hex digits) that must have signed the updater; the build's PAVENO_UPDATE_KEY until
// changed. Empty: the updater is started unchecked.
void SetUpdateKey(std::string hex);

// The update check of the start: the update window is loaded, hidden, once the main window is on screen; it asks the
// server in its creation handler, and shows itself only when a newer version is offered.
void CheckForUpdateOnceShown();

} // namespace paveno::app
