// SPDX-License-Identifier: MIT
#include "app/CollectionState.h"

namespace paveno::app {

void CollectionState::ReleaseTexts() {
    for (Text* t : {&categoryPath, &bookSerial, &bookAuthor, &bookIntro, &coverUrl, &textPageUrl, &archiveSizeText}) {
        Text().swap(*t);
    }
}

CollectionState& State() {
    static CollectionState state;
    return state;
}

void ResetState() {
    State() = CollectionState();
}

} // namespace paveno::app
