// The line of a table entry the library lacks: what tamboro-scan --missing
// prints and what the window's missing-charts view copies, made by the same
// code so that both agree.
#pragma once

#include <string>

#include "tables/DifficultyTable.h"

namespace tamboro {

// Appends symbol and level, title, artist, md5, sha256, url and url_diff,
// TAB-separated, each escaped as row fields are, and LF.
void AppendMissingLine(std::string& out, const std::string& symbol, const TableEntry& entry);

}  // namespace tamboro
