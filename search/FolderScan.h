// The folder scan: a depth-first walk from a root folder that reads every
// chart ("*.bms", any letter case) and hands one row per chart to a sink.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

#include "search/HeaderReader.h"
#include "search/SearchState.h"

namespace tamboro {

// The 32-bit key of a row: insertion index in the high half, current list
// position in the low half, both as unsigned 16-bit numbers.
using RowKey = uint32_t;

inline RowKey MakeRowKey(uint32_t insertionIndex, uint32_t position)
{
    return ((insertionIndex & 0xFFFFu) << 16) | (position & 0xFFFFu);
}
inline uint32_t RowKeyInsertion(RowKey key) { return key >> 16; }
inline uint32_t RowKeyPosition(RowKey key) { return key & 0xFFFFu; }

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

// Where the scan's results go. Calls come from the scanning thread.
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
std::string FormatTitle(int32_t count, const std::string& folder);

class FolderScan {
public:
    static constexpr int64_t kNoRowLimit = -1;
    static constexpr int kMaxDepth = 8192;

    // `state` may be invalid (no stop test). Once `rowLimit` rows exist,
    // further folders' charts are not listed; their subfolders still are
    // walked.
    FolderScan(ScanSink& sink, StateWord state, int64_t rowLimit = kNoRowLimit);

    // A stop flag of the scan's own, tested where the shared word is: once
    // set, the scan unwinds as after SS_STOP, whatever the word says. It is
    // only read, and must outlive the scan; nullptr for none.
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // Scans the tree below `root`. Returns 0, or the errno that made the
    // root unreadable (ENOENT for an empty path): nothing is listed then.
    int Run(const std::string& root);

    int32_t Count() const { return m_nCount; }

private:
    // Scans the folder `name` (relative to `parentFd`) whose path is `path`,
    // which ends in "/". Returns 0 or the errno of a folder that could not
    // be read.
    int ScanFolder(int parentFd, const char* name, std::string& path);
    bool IsAncestor(dev_t device, ino_t inode) const;
    bool StopAskedFor() const;
    void ChartPass(int dirFd, const class DirectoryListing& listing, const std::string& path);

    ScanSink& m_sink;
    StateWord m_state;
    const std::atomic<bool>* m_stop = nullptr;
    int64_t m_rowLimit;
    int32_t m_nCount = 0;
    TagTable m_tags = MakeTagTable();
    HeaderReader m_reader;
    std::vector<ChartRow> m_batch;
    std::vector<std::pair<dev_t, ino_t>> m_ancestors;
};

}  // namespace tamboro
