// Where a scan's rows go: one row per chart, handed over folder by folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/ChartRow.h"

namespace tamboro {

// Where the scan's results go. Calls come from the thread that runs the scan.
class ScanSink {
public:
    virtual ~ScanSink() = default;
    // A folder is about to be read (for progress displays).
    virtual void FolderEntered(const std::string& folder) { (void)folder; }
    // All charts of one folder, in the order found. The sink may move them.
    virtual void AddRows(std::vector<ChartRow>& rows) = 0;
    // The progress title after a folder is done: "Tamboro - <count> [<folder>]".
    virtual void SetTitle(const std::string& title) = 0;
};

// "Tamboro - %d [%s]" with the row count and the folder path.
inline std::string FormatTitle(int32_t count, const std::string& folder)
{
    return "Tamboro - " + std::to_string(count) + " [" + folder + "]";
}

}  // namespace tamboro
