// A result row made in a test, as a scan would list it.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "search/ChartRow.h"

namespace tamboro::test {

inline ChartRow MakeRow(std::string folder, std::string genre, std::string title, std::string artist, uint32_t index)
{
    ChartRow row;
    row.folder = std::move(folder);
    row.Value(TagOf("#GENRE ")) = std::move(genre);
    row.Value(TagOf("#TITLE ")) = std::move(title);
    row.Value(TagOf("#ARTIST ")) = std::move(artist);
    row.index = index;
    return row;
}

}  // namespace tamboro::test
