// What the player chose for the next search besides its root.
#pragma once

#include "search/ChartTypes.h"

namespace tamboro {

struct SearchChoices {
    // Which names are charts.
    ChartTypes types{};
    // Whether every chart's MD5 and SHA-256 are computed as it is read (a
    // digest column is shown).
    bool digests = false;
    // Whether the search keeps what it found in the root's index in the
    // user's cache folder, and takes from it what it knows unchanged.
    bool index = false;
};

}  // namespace tamboro
