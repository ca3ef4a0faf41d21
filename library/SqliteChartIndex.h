// The index in an SQLite database, one row a folder: its device, inode,
// times and the listing a scan needs, and in one blob each of its charts'
// device, inode, size, times, values and hashes. What a scan's root holds is loaded at the start
// and answered from memory; what the scan learned is written in one
// transaction once its rows are out (Save).
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "library/ByteArena.h"
#include "library/IndexBlobs.h"
#include "library/KnownFolders.h"
#include "library/LockWait.h"
#include "search/ChartIndex.h"
#include "search/ChartTypes.h"

struct sqlite3;

namespace tamboro {

class SqliteChartIndex : public ChartIndex {
public:
    struct Opened {
        std::unique_ptr<SqliteChartIndex> index;  // null: the scan runs without one
        std::string note;                         // what went wrong, one line; empty when nothing did
    };
    // Opens the index file `file` (made with mode 0600 when missing) for a
    // scan of `root` (as given) listing `types`. A damaged index (one SQLite
    // finds damaged) is rebuilt; so is a file that is no Tamboro index when
    // `rebuildForeign` (the default place, which holds nothing else);
    // elsewhere such a file, and any index that cannot be used now (a lock
    // held for longer than kLockWaitMs, no room, no permission), is left
    // alone and the scan runs without an index. Folders are kept under the
    // root's real path (RootIdentity), whatever spelling of it the scan
    // names them by, so that every spelling shares what is kept.
    static Opened Open(const std::string& file, const std::string& root, const ChartTypes& types, bool rebuildForeign);
    ~SqliteChartIndex() override;

    bool FindListing(const std::string& path, DirectoryListing& folder) override;
    bool HasListing(const std::string& path) override;
    const std::vector<std::string_view>& KeptFolderPaths() const override { return m_known.paths; }
    void KeptChartNames(std::string_view path, std::vector<std::string_view>& names) const override;
    void RecordListing(const std::string& path, const DirectoryListing& folder) override;
    bool KnowsChart(const std::string& path, std::string_view name) override;
    KeptChartRef FindKeptChart(const std::string& path, std::string_view name) override;
    bool FindChart(const std::string& path, std::string_view name, const ChartStamp& stamp, bool wantHashes,
                   TagTable& values, ChartHashes& hashes) override;
    bool FindChart(const KeptChartRef& kept, std::string_view name, const ChartStamp& stamp, bool wantHashes,
                   TagTable& values, ChartHashes& hashes) override;
    void RecordChart(const std::string& path, std::string_view name, const ChartStamp& stamp, const TagTable& values,
                     const ChartHashes& hashes) override;

    // Writes what the scan learned in one transaction, and drops the charts
    // a folder listed again no longer holds; with `complete` (the walk went
    // through the whole tree) also the folders below the root it did not
    // meet. Returns "", or why the index was not updated. Once, after the
    // scan: what is written is let go on the way.
    std::string Save(bool complete);

private:
    enum class Connection { kReady, kNotAnIndex, kDamaged, kFailed };
    template <typename Value>
    using ByBytes = std::unordered_map<std::string, Value, BytesHash, std::equal_to<>>;
    // Looks the chart `name` up in a folder of many charts (`chartAt`) as
    // loaded; `encoded` is its bytes in the folder's blob.
    static bool FindChartOf(const KnownFolder& folder, std::string_view name, ChartView& chart,
                            std::string_view& encoded);
    // The values (and hashes) of `chart` when it was kept for this stamp.
    static bool Answer(const ChartView& chart, std::string_view name, const ChartStamp& stamp, bool wantHashes,
                       TagTable& values, ChartHashes& hashes);
    // The last folder a thread looked a chart up in: a scan asks about the
    // charts of one folder one after another, so the folder is found once
    // and a small folder's blob gone through once.
    struct RecentFolder {
        uint64_t serial = 0;                    // of the index the folder is of
        std::string path;                       // as the scan names it
        std::string indexPath;                  // as the index keeps it
        KnownFolder* folder = nullptr;          // null: not known
        std::vector<ChartView> charts;          // of a small folder
        std::vector<std::string_view> encoded;  // their bytes in its blob
    };
    // The calling thread's recent folder, made `path`'s.
    RecentFolder& RecentFolderOf(const std::string& path);
    // Looks the chart `name` of the folder `path` up, through the calling
    // thread's recent folder.
    bool LookUpChart(const std::string& path, std::string_view name, ChartView& chart, std::string_view& encoded);
    // What the scan learned of one folder.
    struct LearnedFolder {
        bool listed = false;   // listed by this scan
        bool settled = false;  // its listing old enough to be kept
        FolderStamp stamp;
        std::string listing;  // EncodeListing
        std::string charts;   // those read, in one charts blob (AppendChart)
    };

    SqliteChartIndex(std::string file, const std::string& root, const ChartTypes& types);
    // The path the index keeps the folder `path` (as the scan names it) under.
    std::string IndexPath(std::string_view path) const;
    Connection Connect(std::string& why);
    void Disconnect();
    void UseWriteAheadLog();
    bool Exec(const char* sql);
    Connection Identify(std::string& why);
    // "", or why the schema could not be made.
    std::string CreateSchema();
    int Load();
    int LoadRows();
    // Where the load splits the root's folders in two halves, or "" to load
    // them at once: the middle path kept by the last save when it lies
    // below the root (from `m_prefix` to `end`) and there are enough.
    std::string LoadMiddle(std::string_view end) const;
    // Keeps where the folders kept now split in two, and how many there
    // are, when that moved from what was loaded.
    bool WriteMiddle(const std::vector<std::pair<std::string_view, LearnedFolder*>>& learned);
    // Whether a file with these times is clearly older than this scan: a
    // change made after it was read changes one of them.
    bool Settled(int64_t modifiedNs, int64_t changedNs) const;
    bool WriteLearned(bool complete);
    // Into the rollback journal's mode (`direct`) or back to the write-ahead
    // log's; whether the database is in that mode now.
    bool WriteDirectly(bool direct);
    // The charts to keep for the folder `path`: those known, less those its
    // new listing lacks, with those learned (a charts blob) put in.
    std::vector<KeptChart> MergedCharts(std::string_view path, const LearnedFolder& learned) const;
    // The same as a charts blob; a folder the index kept no charts of takes
    // the blob learned as it is, when it names each chart once.
    std::string MergedChartsBlob(std::string_view path, LearnedFolder& learned) const;

    const std::string m_file;
    const std::string m_prefix;      // the root's real path, ending in "/": folders are kept below it
    const std::string m_scanPrefix;  // the root's path as the scan names it, ending in "/"
    const ChartTypes m_types;
    std::string m_typesKey;
    const int64_t m_startNs;  // the scan's start, CLOCK_REALTIME
    sqlite3* m_db = nullptr;
    LockWait m_lockWait;  // of the open and load, then of the save
    // Names what m_known holds for the threads' recent folders: changed
    // whenever that is let go.
    uint64_t m_serial;
    // Where the last save split the folders, and how many there were.
    std::string m_keptMiddle;
    int64_t m_keptFolderCount = 0;
    ByteArena m_loaded[2];  // the halves of the load
    LoadedFolders m_known;
    // By folder path; each folder once, its path too, and its charts as
    // bytes: this costs little more than what is to be written. Spread over
    // a few maps by the path's hash, each with its lock, so that readers
    // learning charts of different folders seldom wait for each other.
    struct LearnedShard {
        std::mutex mutex;
        ByBytes<LearnedFolder> folders;
    };
    static constexpr std::size_t kLearnedShards = 16;
    LearnedShard& ShardOf(std::string_view path);
    std::array<LearnedShard, kLearnedShards> m_learned;
};

}  // namespace tamboro
