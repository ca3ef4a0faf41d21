// The list's columns in list order, as the model, the sorter, the window and
// tamboro-scan number them.
#pragma once

#include <cstdint>

namespace tamboro {

enum ListColumn : int32_t { kColumnFolder, kColumnGenre, kColumnTitle, kColumnArtist, kColumnCount };

}  // namespace tamboro
