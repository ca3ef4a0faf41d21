// The folder scan with charts read ahead by several threads: one thread
// walks the tree, reader threads read the charts the walk has passed, and
// the calling thread lists them in exactly the order, with exactly the
// sink calls, of a scan on one thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "search/ChartTypes.h"
#include "search/FolderSlots.h"
#include "search/HeaderReader.h"
#include "search/ReadAheadWindow.h"
#include "search/ScanSink.h"
#include "search/SearchState.h"

namespace tamboro {

class ReadAheadScan {
public:
    // Charts of one folder are read in runs of at most this many: few enough
    // to spread a large folder over the readers, enough to keep the
    // hand-overs between threads rare.
    static constexpr uint32_t kChunkCharts = 8;

    ReadAheadScan(ScanSink& sink, StateWord state, int64_t rowLimit, ChartTypes types, int readers,
                  ReadAheadWindow::Limits limits = {});

    // As FolderScan::SetStopFlag.
    void SetStopFlag(const std::atomic<bool>* stop) { m_stop = stop; }

    // Folders kept open for their charts at most, however many descriptors
    // the process may have.
    static constexpr std::size_t kMaxOpenFolders = 128;

    // As FolderScan::Run. The sink is called on the calling thread only.
    int Run(const std::string& root);

    int32_t Count() const { return m_nCount; }

private:
    class Walker;

    // Descriptors the read-ahead may hold beyond those of the walk (one per
    // level of the tree, as on one thread): one per reader for the chart it
    // reads, one per folder whose charts wait.
    struct OpenFilePlan {
        int readers = 0;  // 0: scan on one thread
        std::size_t folders = 0;
    };
    static OpenFilePlan PlanOpenFiles(int readers, int room);

    bool StopRequested() const { return tamboro::StopRequested(m_state, m_stop); }
    int RunOnOneThread(const std::string& root);
    int List();
    int ListChunk(ChartChunk& chunk);
    int ReadChart(ChartChunk& chunk, uint32_t chart, HeaderReader& reader, TagTable& tags);
    void ReaderLoop();

    ScanSink& m_sink;
    const StateWord m_state;
    const std::atomic<bool>* m_stop = nullptr;
    const int64_t m_rowLimit;
    const ChartTypes m_types;
    const OpenFilePlan m_plan;
    // Before the window: folders its steps hold are let go into it.
    FolderSlots m_slots;
    ReadAheadWindow m_window;
    int32_t m_nCount = 0;
    std::string m_path;  // of the folder the lister is in
    // The lister's own reader, for charts it reads itself.
    HeaderReader m_reader;
    TagTable m_tags = MakeTagTable();
    std::vector<ChartRow> m_batch;
};

}  // namespace tamboro
