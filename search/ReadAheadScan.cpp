#include "search/ReadAheadScan.h"

#include <chrono>
#include <dirent.h>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/DirectoryReader.h"
#include "search/ChartValuesRead.h"
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
        if (m_scan.m_options.index != nullptr)
            m_prefetch = std::make_unique<FolderPrefetch>(*m_scan.m_options.index);
        end.error = FolderWalk(*this, m_scan.m_options.index).Run(root);
        m_prefetch.reset();
        m_pending.push_back(std::move(end));
        Flush();
    }

    bool StopRequested() override { return m_scan.m_window.Abandoned() || m_scan.m_options.StopRequested(); }

    void Entered(const std::string& path) override
    {
        ScanStep step;
        step.kind = ScanStep::kEntered;
        step.name = path.substr(m_pathLengths.empty() ? 0 : m_pathLengths.back());
        m_pathLengths.push_back(path.size());
        Add(std::move(step));
    }

    void Finished(DirectoryListing& listing, const std::string& path) override
    {
        m_pathLengths.pop_back();
        std::vector<uint32_t> charts;
        const auto& entries = listing.Entries();
        for (uint32_t i = 0; i < entries.size(); ++i) {
            if (m_scan.m_options.types.Matches(listing.NameOf(entries[i])))
                charts.push_back(i);
        }
        if (!charts.empty() && AcquireSlot())
            PushCharts(listing, path, std::move(charts));
        ScanStep step;
        step.kind = ScanStep::kFinished;
        Add(std::move(step));
    }

    // Every folder held open goes to the lister, which closes each once it
    // is through with it; then the open is tried again.
    bool FreeDescriptors() override
    {
        Flush();
        m_scan.m_slots.AwaitNoneHeld();
        return !m_scan.m_window.Abandoned();
    }

private:
    bool AcquireSlot()
    {
        if (m_scan.m_slots.TryAcquire())
            return true;
        // The folders that hold the slots must be on their way to the lister
        // before the walk waits for it to let go of one.
        Flush();
        return m_scan.m_slots.Acquire();
    }

    // With an index that knows every chart of the folder by name, the
    // charts are most likely unchanged: the lister takes their values from
    // the index itself rather than have a reader woken for so little, and
    // reads any that changed. Looking at each chart (a stat) is most of
    // that work: the walk does it while the lister is behind, the lister
    // while it keeps up. While looks wait for the device the readers take
    // such folders too.
    // `kept`: what the index keeps of each chart, when it knows them all.
    bool KnowsEveryChart(const DirectoryListing& listing, const std::string& path, const std::vector<uint32_t>& charts,
                         std::vector<KeptChartRef>& kept) const
    {
        ChartIndex* const index = m_scan.m_options.index;
        if (index == nullptr)
            return false;
        kept.reserve(charts.size());
        for (const uint32_t chart : charts) {
            kept.push_back(index->FindKeptChart(path, listing.NameOf(listing.Entries()[chart])));
            if (kept.back().bytes.empty()) {
                kept.clear();
                return false;
            }
        }
        return true;
    }

    void PushCharts(DirectoryListing& listing, const std::string& path, std::vector<uint32_t> charts)
    {
        // Looks wait for the device: so will the walk's opens of the
        // folders to come, and the looks at their charts, unless they are
        // looked at ahead of it.
        if (m_prefetch != nullptr && m_scan.m_slowLooks.load(std::memory_order_relaxed) >= kSlowLooksBeforePrefetch)
            m_prefetch->Start(kPrefetchThreads);
        std::vector<KeptChartRef> kept;
        const bool forLister = !m_scan.LooksWaitForDevice() && KnowsEveryChart(listing, path, charts, kept);
        auto folder = std::make_shared<FolderCharts>(std::move(listing), m_scan.m_slots);
        folder->charts = std::move(charts);
        folder->kept = std::move(kept);
        // The index knows charts by their folder's path.
        if (m_scan.m_options.index != nullptr)
            folder->path = path;
        // Charts past the row limit are seldom listed: the walk does not look
        // at them (the lister does, should it list them after all).
        const int64_t limit = m_scan.m_options.rowLimit;
        const bool listed = !m_scan.m_options.StopRequested() && (limit < 0 || m_expectedCount < limit);
        if (listed && forLister && ListerBehind()) {
            folder->looks.reserve(folder->charts.size());
            for (const uint32_t chart : folder->charts)
                folder->looks.push_back(
                    LookAtChart(folder->listing.Fd(), folder->listing.CNameOf(folder->listing.Entries()[chart])));
        }
        const auto total = static_cast<uint32_t>(folder->charts.size());
        if (listed)
            m_expectedCount += total;
        for (uint32_t begin = 0; begin < total; begin += kChunkCharts) {
            ScanStep step;
            step.kind = ScanStep::kCharts;
            step.chunk = std::make_shared<ChartChunk>();
            step.chunk->folder = folder;
            step.chunk->begin = begin;
            step.chunk->end = std::min(total, begin + kChunkCharts);
            step.chunk->state.store(listed && !forLister ? ChartChunk::kQueued : ChartChunk::kHeld);
            ++m_pendingChunks;
            ++m_chunksMade;
            Add(std::move(step));
        }
    }

    // Counts only the chunks the lister can see: those still in the batch
    // are not behind it.
    bool ListerBehind() const
    {
        const uint64_t pushed = m_chunksMade - m_pendingChunks;
        return pushed - m_scan.m_chunksListed.load(std::memory_order_relaxed) > kListerBehindChunks;
    }

    // Steps go to the window in batches, and never wait long for one to
    // fill: a walk slowed by a cold folder still shows its charts at once.
    void Add(ScanStep step)
    {
        m_pending.push_back(std::move(step));
        const auto now = std::chrono::steady_clock::now();
        if (m_scan.m_window.BatchFull(m_pending.size(), m_pendingChunks) || now - m_lastPush >= kMaxBatchAge) {
            Flush();
            m_lastPush = now;
        }
    }

    void Flush()
    {
        m_scan.m_window.Push(m_pending, m_pendingChunks);
        m_pendingChunks = 0;
    }

    static constexpr std::chrono::milliseconds kMaxBatchAge{2};
    // Looks at once on a cold cache: past about sixteen a device of this
    // kind (a virtual disk) answers no sooner (8: 270 ms, 16: 229 ms, 32:
    // 209 ms to look at 25,759 folders and charts).
    static constexpr int kPrefetchThreads = 16;
    static constexpr uint64_t kListerBehindChunks = 16;

    ReadAheadScan& m_scan;
    std::vector<std::size_t> m_pathLengths;  // of the folders entered and not finished
    int64_t m_expectedCount = 0;
    uint64_t m_chunksMade = 0;
    std::vector<ScanStep> m_pending;
    std::size_t m_pendingChunks = 0;
    std::chrono::steady_clock::time_point m_lastPush = std::chrono::steady_clock::now();
    std::unique_ptr<FolderPrefetch> m_prefetch;  // with an index: started once looks wait for the device
};

ReadAheadScan::ReadAheadScan(RowLister& lister, const ScanOptions& options, OpenFilePlan plan)
    : m_lister(lister), m_options(options), m_plan(plan), m_slots(plan.folders), m_window(options.readAhead)
{
    m_reader.NoteDeviceWaits();
}

// The read-ahead takes at most half the descriptors still free, so that the
// walk of a deep tree and the rest of the process keep the other half; half
// of its share at most go to readers.
ReadAheadScan::OpenFilePlan ReadAheadScan::PlanOpenFiles(int readers, int room)
{
    const int share = room / 2;
    OpenFilePlan plan;
    plan.readers = std::min(readers, share / 2);
    plan.folders = std::min<std::size_t>(kMaxOpenFolders, static_cast<std::size_t>(std::max(0, share - plan.readers)));
    if (plan.readers < 1 || plan.folders < 1)
        plan = {};
    return plan;
}

std::optional<int> ReadAheadScan::Run(const std::string& root)
{
    // Declared before the joiner: the walk's thread uses it until joined.
    Walker walker(*this);
    std::vector<std::thread> threads;
    // Whatever way the lister leaves, every thread has ended when Run returns.
    struct Joiner {
        ReadAheadWindow& window;
        FolderSlots& slots;
        std::vector<std::thread>& threads;
        ~Joiner()
        {
            window.Abandon();
            slots.Abandon();
            for (std::thread& thread : threads)
                thread.join();
        }
    } joiner{m_window, m_slots, threads};

    int readers = 0;
    for (; readers < m_plan.readers; ++readers) {
        m_window.AddReader();
        try {
            threads.emplace_back([this] { ReaderLoop(); });
        } catch (const std::system_error&) {
            // Fewer readers than planned: the lister reads what they cannot.
            m_window.RemoveReader();
            break;
        }
    }
    // Without a reader, or a thread for the walk, nothing has begun: the
    // readers that did start end as the joiner abandons the window.
    if (readers == 0)
        return std::nullopt;
    try {
        threads.emplace_back([&walker, &root] { walker.Run(root); });
    } catch (const std::system_error&) {
        return std::nullopt;
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
    std::vector<std::size_t> parentLengths;
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
            parentLengths.push_back(m_path.size());
            m_path += step.name;
            if (skipDepth > 0 || m_options.StopRequested())
                ++skipDepth;
            else
                m_lister.Entered(m_path);
            break;
        case ScanStep::kCharts: {
            ChartChunk& chunk = *step.chunk;
            if (chunk.folder.get() != current) {
                current = chunk.folder.get();
                listing = skipDepth == 0 && m_lister.ListsCharts();
            }
            bool readHere = false;
            if (listing) {
                if (const int error = ListChunk(chunk, readHere))
                    return error;
            }
            // A chunk read here holds no bytes of the window, and no reader
            // has it.
            if (!readHere)
                m_window.Retire(chunk);
            m_chunksListed.fetch_add(1, std::memory_order_relaxed);
            break;
        }
        case ScanStep::kFinished:
            current = nullptr;
            if (skipDepth > 0)
                --skipDepth;
            else
                m_lister.Finished(m_path);
            m_path.resize(parentLengths.back());
            parentLengths.pop_back();
            break;
        case ScanStep::kEnd:
            return step.error;
        }
    }
}

// Returns 0, or the error of a chart the lister found no descriptor for.
int ReadAheadScan::ListChunk(ChartChunk& chunk, bool& readHere)
{
    // A chunk no reader has started is read here rather than waited for;
    // so are the charts a reader left.
    uint32_t next = chunk.begin;
    readHere = chunk.Claim();
    if (readHere) {
        SizeValues(chunk);
    } else {
        m_window.AwaitDone(chunk);
        next = chunk.readEnd;
    }
    for (; next < chunk.end; ++next) {
        if (const int error = ReadChart(chunk, next, m_reader))
            return error;
    }
    for (uint32_t chart = chunk.begin; chart < chunk.end; ++chart)
        m_lister.AddChart(m_path, NameOf(chunk, chart), ValuesOf(chunk, chart), HashesOf(chunk, chart));
    return 0;
}

// Reads one chart of the chunk into its values (and digests), through the
// index when there is one. Returns 0, or EMFILE/ENFILE when no descriptor
// was free to open it (its values are then not known).
int ReadAheadScan::ReadChart(ChartChunk& chunk, uint32_t chart, HeaderReader& reader)
{
    const std::vector<ChartLook>& looks = chunk.folder->looks;
    // A chart the lister took long to look at or read waited for the device:
    // the charts of known folders go to the readers for a while, so that
    // many looks wait for the device at once rather than one after another.
    // (The readers' own looks do not count: they outnumber the cores, and
    // one that waited for a core would keep them at it. Nor do charts the
    // walk looked at: the lister then seldom does more than take their
    // values from the index, and the clock is read twice a chart otherwise.)
    const bool timed = &reader == &m_reader && m_options.index != nullptr && looks.empty();
    const auto start = timed ? std::chrono::steady_clock::now() : std::chrono::steady_clock::time_point();
    const std::vector<KeptChartRef>& kept = chunk.folder->kept;
    const int error = ReadChartValues(reader, m_options, FolderFd(chunk), chunk.folder->path, NameOf(chunk, chart),
                                      EntryOf(chunk, chart).type, ValuesOf(chunk, chart), HashesOf(chunk, chart),
                                      looks.empty() ? nullptr : &looks[chart], kept.empty() ? nullptr : &kept[chart]);
    if (timed) {
        const auto end = std::chrono::steady_clock::now();
        const bool slow = end - start > kDeviceLookTime;
        // One slow look may be the lister losing its core to another
        // thread, which on a warm cache sent a fifth of the folders to the
        // readers; two in a row waited for the device.
        if (slow && m_lastLookSlow)
            m_slowLooksUntil.store((end + kSlowLooksSpan).time_since_epoch().count(), std::memory_order_relaxed);
        if (slow)
            m_slowLooks.fetch_add(1, std::memory_order_relaxed);
        m_lastLookSlow = slow;
    }
    if (reader.TakeDeviceWait())
        m_window.NoteDeviceWait();
    return error;
}

bool ReadAheadScan::LooksWaitForDevice() const
{
    return std::chrono::steady_clock::now().time_since_epoch().count() <
           m_slowLooksUntil.load(std::memory_order_relaxed);
}

void ReadAheadScan::SizeValues(ChartChunk& chunk) const
{
    chunk.values.resize(chunk.end - chunk.begin);
    if (m_options.hashes)
        chunk.hashes.resize(chunk.end - chunk.begin);
}

const DirectoryListing::Entry& ReadAheadScan::EntryOf(const ChartChunk& chunk, uint32_t chart)
{
    const FolderCharts& folder = *chunk.folder;
    return folder.listing.Entries()[folder.charts[chart]];
}

int ReadAheadScan::FolderFd(const ChartChunk& chunk)
{
    return chunk.folder->listing.Fd();
}

const char* ReadAheadScan::NameOf(const ChartChunk& chunk, uint32_t chart)
{
    return chunk.folder->listing.CNameOf(EntryOf(chunk, chart));
}

bool ReadAheadScan::ListedAsRegular(const ChartChunk& chunk, uint32_t chart)
{
    return EntryOf(chunk, chart).type == DT_REG;
}

TagTable& ReadAheadScan::ValuesOf(ChartChunk& chunk, uint32_t chart)
{
    return chunk.values[chart - chunk.begin];
}

ChartHashes* ReadAheadScan::HashesOf(ChartChunk& chunk, uint32_t chart)
{
    return chunk.hashes.empty() ? nullptr : &chunk.hashes[chart - chunk.begin];
}

void ReadAheadScan::ReaderLoop()
{
    HeaderReader reader;
    reader.NoteDeviceWaits();
    while (std::shared_ptr<ChartChunk> chunk = m_window.NextWork()) {
        SizeValues(*chunk);
        // Each chart is read only once its bytes are reserved: the first's
        // came with the chunk and shrink to its size once it is open, the
        // others' are reserved once each is open. A chart that finds no
        // room, or no descriptor, is left to the lister with the rest of
        // the chunk.
        std::size_t used = 0;  // bytes the chart read last kept
        uint32_t next = chunk->begin;
        while (next < chunk->end && !chunk->dropped.load(std::memory_order_relaxed)) {
            if (m_options.index != nullptr) {
                // Through the index, which may answer without a read: as
                // much is reserved as a chart's values may take.
                const std::size_t need = m_window.ChartBytes();
                if (next == chunk->begin)
                    m_window.Fit(*chunk, need);
                else if (!m_window.ReserveNext(*chunk, std::exchange(used, 0), need))
                    break;
                if (ReadChart(*chunk, next, reader) != 0)
                    break;
                used = ValuesOf(*chunk, next).ValueBytes();
                ++next;
                continue;
            }
            HeaderReader::OpenFile file =
                HeaderReader::Open(FolderFd(*chunk), NameOf(*chunk, next), ListedAsRegular(*chunk, next));
            if (file.Error() != 0)
                break;
            const std::size_t need = std::min(file.Size(), m_window.ChartBytes());
            if (next == chunk->begin)
                m_window.Fit(*chunk, need);
            else if (!m_window.ReserveNext(*chunk, std::exchange(used, 0), need))
                break;
            reader.Read(file, ValuesOf(*chunk, next), HashesOf(*chunk, next));
            if (reader.TakeDeviceWait())
                m_window.NoteDeviceWait();
            used = ValuesOf(*chunk, next).ValueBytes();
            ++next;
        }
        chunk->readEnd = next;
        m_window.MarkDone(*chunk, used);
    }
}

}  // namespace tamboro
