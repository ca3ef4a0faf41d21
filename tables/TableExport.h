// Writes a table of the player's own: header.json and data.json in a folder,
// in the form the table reader reads.
#pragma once

#include <string>
#include <vector>

#include "tables/DifficultyTable.h"
#include "tables/TableResult.h"

namespace tamboro {

// Writes FOLDER/data.json with the entries, then FOLDER/header.json naming
// it; each whole or not at all. Returns the header's path.
TableResult<std::string> ExportTable(const std::string& folder, const std::string& name, const std::string& symbol,
                                     const std::vector<std::string>& levelOrder,
                                     const std::vector<TableEntry>& entries);

}  // namespace tamboro
