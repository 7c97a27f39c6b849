// SPDX-License-Identifier: MIT
#pragma once

#include <string>

namespace paveno::app {

// The Ed25519 public key (64 hex digits) that must have signed the updater; the build's PAVENO_UPDATE_KEY until
// changed. Empty: the updater is started unchecked.
void SetUpdateKey(std::string hex);

} // namespace paveno::app
