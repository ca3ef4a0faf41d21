// What a scan may ask of an index of earlier scans: "what do you know of
// this folder, of this chart, as the file system shows it now?". The scan
// looks at each folder and chart itself (its device, inode, times and size)
// and asks; an answer is given only for exactly that look, so nothing an
// index holds is used without the file system saying it is unchanged. What
// the scan had to read it tells the index, which keeps it for next time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

#include "platform/DirectoryReader.h"
#include "search/ChartHashes.h"
#include "search/HeaderTags.h"

namespace tamboro {

// A folder as one look shows it. Adding, removing or renaming an entry
// changes its modification and change times; putting the modification time
// back still changes the change time.
struct FolderStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;

    bool operator==(const FolderStamp&) const = default;
};

// A chart as one look shows it: any write changes the change time, even
// when the size and the modification time are put back.
struct ChartStamp {
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;
    int64_t changedNs = 0;

    bool operator==(const ChartStamp&) const = default;
};

inline FolderStamp StampOf(const DirectoryListing& folder)
{
    return {static_cast<uint64_t>(folder.Device()), static_cast<uint64_t>(folder.Inode()), folder.ModifiedNs(),
            folder.ChangedNs()};
}

inline ChartStamp StampOf(const struct stat& st)
{
    return {static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), static_cast<int64_t>(st.st_size),
            NanosecondsOf(st.st_mtim), NanosecondsOf(st.st_ctim)};
}

// One chart as an index keeps it, found by its folder and name
// (ChartIndex::FindKeptChart) and handed back with its look
// (ChartIndex::FindChart), so that whoever reads the chart need not find
// it again. Its bytes mean something to the index alone; empty: not kept.
struct KeptChartRef {
    std::string_view bytes;
};

class ChartIndex {
public:
    virtual ~ChartIndex() = default;

    // The walk's thread, folder by folder. `path` is the folder's path as
    // the scan names it (ending in "/"), `folder` open and not yet listed.
    // True: the entries kept for exactly this stamp were added to `folder`,
    // every entry the scan needs (subfolders, links, entries of unknown
    // type and charts) in the order the file system listed them.
    virtual bool FindListing(const std::string& path, DirectoryListing& folder) = 0;
    // Whether a listing of the folder `path` is kept at all, its stamp not
    // looked at: when so, the walk opens the folder as a handle only
    // (DirectoryListing::OpenHandle) before asking FindListing.
    virtual bool HasListing(const std::string& path) = 0;
    // The paths of every folder kept, in the order of their bytes, about
    // the order a walk meets them: paths that name the folders (to look at
    // them), as the index keeps them, which need not be the spelling the
    // scan names them by. Fixed for the scan; any thread may read it.
    virtual const std::vector<std::string_view>& KeptFolderPaths() const = 0;
    // Any thread. The names of the charts kept for the folder `path` (one
    // of KeptFolderPaths), as views that live as long as the index.
    virtual void KeptChartNames(std::string_view path, std::vector<std::string_view>& names) const = 0;
    // `folder` was listed completely.
    virtual void RecordListing(const std::string& path, const DirectoryListing& folder) = 0;

    // Any thread, at the same time. Whether anything is kept for the chart
    // `name` of the folder `path`: when not, the scan reads it without
    // looking at it first.
    virtual bool KnowsChart(const std::string& path, std::string_view name) = 0;
    // The same, with what is kept for it; valid as long as the index.
    virtual KeptChartRef FindKeptChart(const std::string& path, std::string_view name) = 0;
    // True: the values (and hashes, which
    // must be there when `wantHashes`) kept for the chart `name` of the
    // folder `path` with exactly this stamp were put into `values`.
    virtual bool FindChart(const std::string& path, std::string_view name, const ChartStamp& stamp, bool wantHashes,
                           TagTable& values, ChartHashes& hashes) = 0;
    // The same for the chart `kept` (found for `name`).
    virtual bool FindChart(const KeptChartRef& kept, std::string_view name, const ChartStamp& stamp, bool wantHashes,
                           TagTable& values, ChartHashes& hashes) = 0;
    // The chart was read whole, and the file read had this stamp.
    virtual void RecordChart(const std::string& path, std::string_view name, const ChartStamp& stamp,
                             const TagTable& values, const ChartHashes& hashes) = 0;
};

}  // namespace tamboro
