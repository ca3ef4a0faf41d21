// The charts of one folder read again, without its subfolders: the rows a
// scan lists for that folder, in the same order, with the same values.
#pragma once

#include <string>
#include <vector>

#include "search/ChartRow.h"
#include "search/ScanOptions.h"

namespace tamboro {

// Reads the charts of `folder` (ending in "/") that `options.types` names,
// with their digests when `options.hashes`. Returns 0, or the errno that
// made the folder unreadable (`rows` is then empty). Rows are numbered from 0.
int ReadFolderCharts(const std::string& folder, const ScanOptions& options, std::vector<ChartRow>& rows);

}  // namespace tamboro
