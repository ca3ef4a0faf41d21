// What a scan produces: one row per chart, handed to a sink folder by folder.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tamboro {

// The 32-bit key of a row: insertion index in the high half, current list
// position in the low half, both as unsigned 16-bit numbers.
using RowKey = uint32_t;

inline RowKey MakeRowKey(uint32_t insertionIndex, uint32_t position)
{
    return ((insertionIndex & 0xFFFFu) << 16) | (position & 0xFFFFu);
}

// One chart: its folder (ending in "/") and its three header values, all as
// the raw bytes found. `index` is the row's full insertion index, which the
// 16-bit halves of `key` cannot hold beyond 65,535.
struct ChartRow {
    std::string folder;
    std::string genre;
    std::string title;
    std::string artist;
    uint32_t index = 0;
    RowKey key = 0;
};

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
