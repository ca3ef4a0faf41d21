// The scan with charts read ahead by several threads: one thread walks the
// tree, reader threads read the charts the walk has passed, and the calling
// thread lists them in exactly the order, with exactly the sink calls, of
// the scan on one thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "search/FolderPrefetch.h"
#include "search/FolderSlots.h"
#include "search/HeaderReader.h"
#include "search/HeaderTags.h"
#include "search/ReadAheadWindow.h"
#include "search/RowLister.h"
#include "search/ScanOptions.h"

namespace tamboro {

class ReadAheadScan {
public:
    // Charts of one folder are read in runs of at most this many: few enough
    // to spread a large folder over the readers, enough to keep the
    // hand-overs between threads rare.
    static constexpr uint32_t kChunkCharts = 8;
    // Folders kept open for their charts at most, however many descriptors
    // the process may have.
    static constexpr std::size_t kMaxOpenFolders = 128;

    // Descriptors the read-ahead may hold beyond those of the walk (one per
    // level of the tree, as on one thread): one per reader for the chart it
    // reads, one per folder whose charts wait.
    struct OpenFilePlan {
        int readers = 0;  // 0: too few descriptors to read ahead
        std::size_t folders = 0;
    };
    // The plan for `readers` readers when `room` more descriptors may be
    // opened: at most half of them, half of that at most for readers.
    static OpenFilePlan PlanOpenFiles(int readers, int room);

    // All three must outlive the scan; `plan` has at least one reader.
    ReadAheadScan(RowLister& lister, const ScanOptions& options, OpenFilePlan plan);

    // As FolderScan::Run; the lister is called on the calling thread only.
    // Nothing when not one reader thread, or no thread for the walk, could
    // be started: nothing was walked or listed then.
    std::optional<int> Run(const std::string& root);

private:
    class Walker;

    int List();
    int ListChunk(ChartChunk& chunk, bool& readHere);
    void ReaderLoop();
    int ReadChart(ChartChunk& chunk, uint32_t chart, HeaderReader& reader);
    // Whether looks at charts wait for the device now.
    bool LooksWaitForDevice() const;
    // Makes room in the chunk for the values (and digests) of its charts.
    void SizeValues(ChartChunk& chunk) const;
    // A chart of a chunk, numbered as in FolderCharts::charts.
    static const DirectoryListing::Entry& EntryOf(const ChartChunk& chunk, uint32_t chart);
    static int FolderFd(const ChartChunk& chunk);
    static const char* NameOf(const ChartChunk& chunk, uint32_t chart);
    static bool ListedAsRegular(const ChartChunk& chunk, uint32_t chart);
    static TagTable& ValuesOf(ChartChunk& chunk, uint32_t chart);
    // Null when the scan computes no digests.
    static ChartHashes* HashesOf(ChartChunk& chunk, uint32_t chart);

    RowLister& m_lister;
    const ScanOptions& m_options;
    const OpenFilePlan m_plan;
    // Before the window: folders its steps hold are let go into it.
    FolderSlots m_slots;
    ReadAheadWindow m_window;
    std::string m_path;  // of the folder the lister is in
    // The lister's own reader, for charts it reads itself.
    HeaderReader m_reader;
    // Chunks the lister is through with, for the walk to tell how far
    // behind it the lister is.
    std::atomic<uint64_t> m_chunksListed{0};
    // Until when (steady clock) looks at charts are taken to wait for the
    // device: two charts in a row took longer than kDeviceLookTime.
    std::atomic<std::chrono::steady_clock::rep> m_slowLooksUntil{0};
    static constexpr std::chrono::milliseconds kSlowLooksSpan{50};
    // Slow looks so far: past a few (one may be a thread that lost its
    // core) the walk's folders are looked at ahead of it (FolderPrefetch).
    std::atomic<int> m_slowLooks{0};
    static constexpr int kSlowLooksBeforePrefetch = 2;
    bool m_lastLookSlow = false;  // the lister's last timed look; the lister's thread only
};

}  // namespace tamboro
