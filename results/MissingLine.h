// The line of a table entry the library lacks: what tamboro-scan --missing
// prints and what the window's missing-charts view copies, made by the same
// code so that both agree.
#pragma once

#include <string>
#include <string_view>

#include "tables/DifficultyTable.h"

namespace tamboro {

// "md5", "sha256" or "none" (an entry that matches no chart: the table gave
// no usable hash).
std::string_view EntryHashName(EntryHash hash);

// Appends symbol and level, title, artist, md5, sha256, url, url_diff, each
// escaped as row fields are, and the hash the entry is matched by
// (EntryHashName), TAB-separated, and LF.
void AppendMissingLine(std::string& out, const std::string& symbol, const TableEntry& entry);

}  // namespace tamboro
