// The columns a row can be shown in, as the model, the sorter, the window and
// tamboro-scan number them, their names, and what each shows of a row.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "search/ChartRow.h"
#include "search/HeaderTags.h"

namespace tamboro {

// The window shows the first kColumnCount columns, in this order; the
// command can print any of them (kAllColumnCount in all).
enum ListColumn : int32_t {
    kColumnFolder,
    kColumnGenre,
    kColumnTitle,
    kColumnArtist,
    kColumnCount,
    kColumnFile = kColumnCount,
    kColumnSubtitle,
    kColumnSubartist,
    kColumnLevel,
    kColumnDifficulty,
    kColumnBpm,
    kColumnTotal,
    kColumnPlayer,
    kColumnRank,
    kColumnMd5,
    kColumnSha256,
    kColumnTable,
    kAllColumnCount,
};

// What one column shows: its name (as the command writes it), the tag whose
// value it is (none for the folder, the file and the digests), and whether
// it sorts by number.
struct ColumnSpec {
    std::string_view name;
    std::optional<TagId> tag;
    bool numeric = false;
};

// In the order of ListColumn.
inline constexpr std::array<ColumnSpec, kAllColumnCount> kColumnSpecs{{
    {"folder", std::nullopt},
    {"genre", TagOf("#GENRE ")},
    {"title", TagOf("#TITLE ")},
    {"artist", TagOf("#ARTIST ")},
    {"file", std::nullopt},
    {"subtitle", TagOf("#SUBTITLE ")},
    {"subartist", TagOf("#SUBARTIST ")},
    {"level", TagOf("#PLAYLEVEL "), true},
    {"difficulty", TagOf("#DIFFICULTY "), true},
    {"bpm", TagOf("#BPM "), true},
    {"total", TagOf("#TOTAL "), true},
    {"player", TagOf("#PLAYER "), true},
    {"rank", TagOf("#RANK "), true},
    {"md5", std::nullopt},
    {"sha256", std::nullopt},
    {"table", std::nullopt},
}};

// Every column in the order the command names them in its help: the
// folder, the file, then the tags, then the digests.
inline constexpr std::array<ListColumn, kAllColumnCount> kColumnsInNameOrder{
    kColumnFolder,    kColumnFile,  kColumnGenre,      kColumnTitle, kColumnSubtitle, kColumnArtist,
    kColumnSubartist, kColumnLevel, kColumnDifficulty, kColumnBpm,   kColumnTotal,    kColumnPlayer,
    kColumnRank,      kColumnMd5,   kColumnSha256,     kColumnTable,
};

// The window's columns, and the command's lines unless it is given others.
inline constexpr std::array<ListColumn, kColumnCount> kDefaultColumns{kColumnFolder, kColumnGenre, kColumnTitle,
                                                                      kColumnArtist};

inline bool IsNumericColumn(int32_t column)
{
    return column >= 0 && column < kAllColumnCount && kColumnSpecs[static_cast<std::size_t>(column)].numeric;
}

// The column named `name`, if one is.
std::optional<ListColumn> ColumnNamed(std::string_view name);

// A comma list of column names, e.g. "folder,title,md5", in the order
// given. Nothing when a name is empty, unknown or given twice; then
// `badName` holds it (empty for an empty name or list).
std::optional<std::vector<ListColumn>> ParseColumnList(std::string_view list, std::string& badName);

// Whether the digests are among the columns.
bool NeedsHashes(const std::vector<ListColumn>& columns);

// The raw bytes of one cell of a row: the folder, the file name, the value
// of the column's tag or a digest; a column past the last (or before the
// first) gives the last of the window's columns.
inline const std::string& ColumnBytes(const ChartRow& row, int32_t column)
{
    switch (column) {
    case kColumnFolder:
        return row.folder;
    case kColumnFile:
        return row.file;
    case kColumnMd5:
        return row.md5;
    case kColumnSha256:
        return row.sha256;
    case kColumnTable:
        return row.table;
    default:
        break;
    }
    const int32_t shown = column > kColumnFolder && column < kAllColumnCount ? column : kColumnArtist;
    return row.Value(*kColumnSpecs[static_cast<std::size_t>(shown)].tag);
}

}  // namespace tamboro
