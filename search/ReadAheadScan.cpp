#include "search/ReadAheadScan.h"

#include <chrono>
#include <dirent.h>
#include <system_error>
#include <thread>

#include "search/FolderScan.h"
#include "search/FolderWalk.h"

namespace tamboro {

// Runs the walk on its own thread and turns it into steps. It counts the
// rows the lister will make as long as no stop comes, so that it hands the
// readers exactly the charts of folders that will be listed; charts of other
// folders go into the window held back, in case a stop lowers the count
// and the lister needs them after all.
class ReadAheadScan::Walker : public FolderVisitor {
public:
    explicit Walker(ReadAheadScan& scan) : m_scan(scan) {}

    void Run(const std::string& root)
    {
        ScanStep end;
        end.error = FolderWalk(*this).Run(root);
        m_pending.push_back(std::move(end));
        m_scan.m_window.Push(m_pending, m_pendingChunks);
    }

    bool StopRequested() override { return m_scan.m_window.Abandoned() || m_scan.StopRequested(); }

    void Entered(const std::string& path) override
    {
        ScanStep step;
        step.kind = ScanStep::kEntered;
        step.path = path;
        Add(std::move(step));
    }

    void Finished(DirectoryListing& listing, const std::string& path) override
    {
        std::vector<uint32_t> charts;
        const auto& entries = listing.Entries();
        for (uint32_t i = 0; i < entries.size(); ++i) {
            if (m_scan.m_types.Matches(listing.NameOf(entries[i])))
                charts.push_back(i);
        }
        if (!charts.empty())
            PushCharts(listing, path, std::move(charts));
        ScanStep step;
        step.kind = ScanStep::kFinished;
        step.path = path;
        Add(std::move(step));
    }

private:
    void PushCharts(DirectoryListing& listing, const std::string& path, std::vector<uint32_t> charts)
    {
        const int64_t limit = m_scan.m_rowLimit;
        const bool listed = !m_scan.StopRequested() && (limit < 0 || m_expectedCount < limit);
        if (listed)
            m_expectedCount += static_cast<int64_t>(charts.size());
        auto folder = std::make_shared<FolderCharts>();
        folder->path = path;
        folder->listing = std::move(listing);
        folder->charts = std::move(charts);
        const auto total = static_cast<uint32_t>(folder->charts.size());
        for (uint32_t begin = 0; begin < total; begin += kChunkCharts) {
            ScanStep step;
            step.kind = ScanStep::kCharts;
            step.chunk = std::make_shared<ChartChunk>();
            step.chunk->folder = folder;
            step.chunk->begin = begin;
            step.chunk->end = std::min(total, begin + kChunkCharts);
            step.chunk->state.store(listed ? ChartChunk::kQueued : ChartChunk::kHeld);
            ++m_pendingChunks;
            Add(std::move(step));
        }
    }

    // Steps go to the window in batches, and never wait long for one to
    // fill: a walk slowed by a cold folder still shows its charts at once.
    void Add(ScanStep step)
    {
        m_pending.push_back(std::move(step));
        const auto now = std::chrono::steady_clock::now();
        if (m_scan.m_window.BatchFull(m_pending.size(), m_pendingChunks) || now - m_lastPush >= kMaxBatchAge) {
            m_scan.m_window.Push(m_pending, m_pendingChunks);
            m_pendingChunks = 0;
            m_lastPush = now;
        }
    }

    static constexpr std::chrono::milliseconds kMaxBatchAge{2};

    ReadAheadScan& m_scan;
    int64_t m_expectedCount = 0;
    std::vector<ScanStep> m_pending;
    std::size_t m_pendingChunks = 0;
    std::chrono::steady_clock::time_point m_lastPush = std::chrono::steady_clock::now();
};

ReadAheadScan::ReadAheadScan(ScanSink& sink, StateWord state, int64_t rowLimit, ChartTypes types, int readers,
                             ReadAheadWindow::Limits limits)
    : m_sink(sink), m_state(state), m_rowLimit(rowLimit), m_types(std::move(types)), m_readers(readers),
      m_window(limits)
{
    m_reader.NoteDeviceWaits();
}

int ReadAheadScan::Run(const std::string& root)
{
    std::vector<std::thread> readers;
    // Whatever way the lister leaves, every thread has ended when Run returns.
    struct Joiner {
        ReadAheadWindow& window;
        std::vector<std::thread>& threads;
        ~Joiner()
        {
            window.Abandon();
            for (std::thread& thread : threads)
                thread.join();
        }
    } joiner{m_window, readers};

    try {
        for (int i = 0; i < m_readers; ++i) {
            m_window.AddReader();
            readers.emplace_back([this] { ReaderLoop(); });
        }
    } catch (const std::system_error&) {
        // Fewer readers than asked for: the lister reads what they cannot.
    }
    Walker walker(*this);
    try {
        readers.emplace_back([&walker, &root] { walker.Run(root); });
    } catch (const std::system_error&) {
        // No thread for the walk: scan on this one.
        m_window.Abandon();
        FolderScan scan(m_sink, m_state, m_rowLimit);
        scan.SetChartTypes(m_types);
        scan.SetStopFlag(m_stop);
        const int error = scan.Run(root);
        m_nCount = scan.Count();
        return error;
    }
    const int error = List();
    m_window.Close();
    return error;
}

// Replays the walk's steps to the sink as a scan on one thread would make
// them: the stop is tested as each folder is entered, the row limit as each
// folder's charts come up.
int ReadAheadScan::List()
{
    int skipDepth = 0;  // > 0: inside folders left out after a stop
    const FolderCharts* current = nullptr;
    bool listing = false;
    std::deque<ScanStep> steps;
    for (;;) {
        if (steps.empty())
            m_window.PopAll(steps);
        ScanStep step = std::move(steps.front());
        steps.pop_front();
        switch (step.kind) {
        case ScanStep::kEntered:
            if (skipDepth > 0 || StopRequested())
                ++skipDepth;
            else
                m_sink.FolderEntered(step.path);
            break;
        case ScanStep::kCharts: {
            ChartChunk& chunk = *step.chunk;
            if (chunk.folder.get() != current) {
                current = chunk.folder.get();
                listing = skipDepth == 0 && (m_rowLimit < 0 || m_nCount < m_rowLimit);
            }
            if (listing)
                ListChunk(chunk);
            m_window.Retire(chunk);
            break;
        }
        case ScanStep::kFinished:
            current = nullptr;
            if (skipDepth > 0) {
                --skipDepth;
                break;
            }
            if (!m_batch.empty()) {
                m_sink.AddRows(m_batch);
                m_batch.clear();
            }
            m_sink.SetTitle(FormatTitle(m_nCount, step.path));
            break;
        case ScanStep::kEnd:
            return step.error;
        }
    }
}

void ReadAheadScan::ListChunk(ChartChunk& chunk)
{
    // A chunk no reader has started is read here rather than waited for.
    if (chunk.Claim()) {
        ReadChunk(chunk, m_reader, m_tags);
        chunk.state.store(ChartChunk::kDone);
    } else {
        m_window.AwaitDone(chunk);
    }
    for (ChartRow& row : chunk.rows) {
        row.folder = chunk.folder->path;
        row.index = static_cast<uint32_t>(m_nCount);
        row.key = MakeRowKey(row.index, row.index);
        ++m_nCount;
        m_batch.push_back(std::move(row));
    }
}

void ReadAheadScan::ReadChunk(ChartChunk& chunk, HeaderReader& reader, TagTable& tags)
{
    const FolderCharts& folder = *chunk.folder;
    const auto& entries = folder.listing.Entries();
    chunk.rows.resize(chunk.end - chunk.begin);
    for (uint32_t i = chunk.begin; i < chunk.end; ++i) {
        if (chunk.dropped.load(std::memory_order_relaxed))
            return;
        const DirectoryListing::Entry& entry = entries[folder.charts[i]];
        reader.ReadHeaders(folder.listing.Fd(), folder.listing.CNameOf(entry), tags, entry.type == DT_REG);
        if (reader.TakeDeviceWait())
            m_window.NoteDeviceWait();
        ChartRow& row = chunk.rows[i - chunk.begin];
        row.genre = tags.Value(TagOf("#GENRE "));
        row.title = tags.Value(TagOf("#TITLE "));
        row.artist = tags.Value(TagOf("#ARTIST "));
        chunk.bytes += row.genre.size() + row.title.size() + row.artist.size();
    }
}

void ReadAheadScan::ReaderLoop()
{
    HeaderReader reader;
    reader.NoteDeviceWaits();
    TagTable tags = MakeTagTable();
    while (std::shared_ptr<ChartChunk> chunk = m_window.NextWork()) {
        ReadChunk(*chunk, reader, tags);
        m_window.MarkDone(*chunk);
    }
}

}  // namespace tamboro
