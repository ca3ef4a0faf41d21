// Tables written as JSON in the form the table reader reads: a header, a
// list of entries, and the whole table in one file for the cache.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tables/DifficultyTable.h"
#include "tables/TableResult.h"

namespace tamboro {

// A header with one data address; without "level_order" when `levelOrder`
// is empty.
std::string HeaderJson(std::string_view name, std::string_view symbol, const std::vector<std::string>& levelOrder,
                       std::string_view dataAddress);

// The entries as a JSON list; fields left empty are left out. Bytes that
// are not UTF-8 become U+FFFD.
std::string EntriesJson(const std::vector<TableEntry>& entries);

// The whole table in one file: the header's keys, "source", and the entries
// under "charts".
std::string TableJson(const DifficultyTable& table);
TableResult<DifficultyTable> ParseTableJson(std::string_view bytes);

}  // namespace tamboro
