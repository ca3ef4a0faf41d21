// The check of one folder's charts: each chart is read (in blocks, up to
// ChartLines::kMaxChartBytes), the files it names are looked for, and its
// size and quick hash are kept for the duplicate search.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "check/ChartLines.h"
#include "check/CheckProblem.h"
#include "search/ChartTypes.h"

namespace tamboro {

class DirectoryListing;

// A chart that was read, for the duplicate search.
struct CheckedChart {
    std::string folder;
    std::string file;
    int64_t size;
    // A quick hash of its bytes as read: charts whose quick hashes differ
    // cannot be the same, and are never read again for their digests.
    uint64_t quickHash;
};

struct FolderCheckResult {
    std::vector<CheckProblem> problems;  // chart by chart, in listing order
    std::vector<CheckedChart> charts;
};

// One per thread: it keeps its read buffer from chart to chart.
class FolderCheck {
public:
    // `path` lies `levelsBelowRoot` folders below the library's root, which
    // the names its charts give may lead up to and not past. `stop` is asked
    // before each chart; once true, the rest are left out.
    FolderCheckResult Run(const DirectoryListing& listing, const std::string& path, std::size_t levelsBelowRoot,
                          const ChartTypes& types, const std::function<bool()>& stop);

private:
    ChartLines m_lines;
};

// The reason an errno gives, as the check prints it.
std::string UnreadableReason(int error);

}  // namespace tamboro
