// The list's columns in list order, as the model, the sorter, the window and
// tamboro-scan number them, and what each shows of a row.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "search/ChartRow.h"
#include "search/HeaderTags.h"

namespace tamboro {

enum ListColumn : int32_t { kColumnFolder, kColumnGenre, kColumnTitle, kColumnArtist, kColumnCount };

// The tag whose value each column after the folder shows, in column order.
inline constexpr std::array<TagId, kColumnCount - 1> kColumnTags{
    TagOf("#GENRE "),
    TagOf("#TITLE "),
    TagOf("#ARTIST "),
};

// The raw bytes of one cell of a row: the folder, or the value of the
// column's tag; a column past the last (or before the first) gives the last.
inline const std::string& ColumnBytes(const ChartRow& row, int32_t column)
{
    if (column == kColumnFolder)
        return row.folder;
    const int32_t shown = column > kColumnFolder && column < kColumnCount ? column : kColumnCount - 1;
    return row.Value(kColumnTags[static_cast<std::size_t>(shown - 1)]);
}

}  // namespace tamboro
