// The folder scan: walks the tree below a root folder, reads every chart
// (by default "*.bms", any letter case) and hands one row per chart to a
// sink, folder by folder, in the order of the walk.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "search/ChartTypes.h"
#include "search/FolderWalk.h"
#include "search/HeaderReader.h"
#include "search/ScanSink.h"
#include "search/SearchState.h"

namespace tamboro {

class FolderScan {
public:
    static constexpr int64_t kNoRowLimit = -1;
    static constexpr int kMaxDepth = FolderWalk::kMaxDepth;

    // The number of reader threads a scan uses unless told otherwise: a few
    // per core keep several reads outstanding on a solid-state device.
    static int DefaultReaders();

    // `state` may be invalid (no stop test). Once `rowLimit` rows exist,
    // further folders' charts are not listed; their subfolders still are
    // walked.
    FolderScan(ScanSink& sink, StateWord state, int64_t rowLimit = kNoRowLimit);

    // Which names are charts (default: "bms").
    void SetChartTypes(ChartTypes types) { m_types = std::move(types); }
    // Threads that read charts ahead of the walk; 1 (the default) reads each
    // chart on the calling thread as its folder is finished. The rows, their
    // order and the sink's calls are the same either way.
    void SetReaders(int readers) { m_readers = readers; }
    // A stop flag of the scan's own, tested where the shared word is: once
    // set, the scan unwinds as after SS_STOP, whatever the word says. It is
    // only read, and must outlive the scan; nullptr for none.
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // Scans the tree below `root`. Returns 0, or the errno that made the
    // root unreadable (ENOENT for an empty path): nothing is listed then.
    // EMFILE or ENFILE: the scan ran out of descriptors part way, and
    // stopped there rather than pass over folders or charts; the rows
    // listed until then stand. The sink is called on the calling thread
    // only.
    int Run(const std::string& root);

    int32_t Count() const { return m_nCount; }

private:
    class SingleThreadVisitor;
    // Lists the charts of one folder. Returns 0, or the error of a chart
    // that could not be opened for want of a descriptor (nothing is listed).
    int ChartPass(const class DirectoryListing& listing, const std::string& path);

    ScanSink& m_sink;
    StateWord m_state;
    const std::atomic<bool>* m_stop = nullptr;
    int64_t m_rowLimit;
    int m_readers = 1;
    ChartTypes m_types;
    int32_t m_nCount = 0;
    int m_chartError = 0;  // ends the scan
    TagTable m_tags = MakeTagTable();
    HeaderReader m_reader;
    std::vector<ChartRow> m_batch;
};

}  // namespace tamboro
