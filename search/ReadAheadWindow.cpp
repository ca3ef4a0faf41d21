#include "search/ReadAheadWindow.h"

#include <algorithm>
#include <thread>

namespace tamboro {

ReadAheadWindow::ReadAheadWindow(ReadAheadLimits limits)
    : m_limits(limits), m_readersWhenCached(limits.readersWhenCached > 0
                                                ? limits.readersWhenCached
                                                : std::max(1, static_cast<int>(std::thread::hardware_concurrency()))),
      m_chartBytes(std::min(limits.chartBytes, limits.bytes))
{}

bool ReadAheadWindow::HasRoom() const
{
    return m_steps.size() < m_limits.steps && m_chunks < m_limits.chunks;
}

bool ReadAheadWindow::BatchFull(std::size_t steps, std::size_t chunks) const
{
    return chunks >= std::min(kBatchChunks, m_limits.chunks) || steps >= std::min(kBatchSteps, m_limits.steps);
}

// While reads find the page cache, one reader per core: more would only
// take turns on the cores, and the lister would often wait for the chunk of
// a reader that is not on a core. While reads wait for the device, every
// reader, so that the device has many reads to serve at once.
int ReadAheadWindow::ReaderLimit() const
{
    return m_deviceWaitChunks > 0 ? m_readers : std::min(m_readers, m_readersWhenCached);
}

// Keeps about one reader awake for every two chunks waiting, up to the
// limit: readers that are awake take the next chunk without sleeping. The
// reader idle the shortest time is woken first, so that while few readers
// are at work they are always the same few, and the buffers of the others
// are never touched.
void ReadAheadWindow::WakeReaders()
{
    const int wanted = std::min(static_cast<int>((m_work.size() + 1) / 2), ReaderLimit());
    while (m_readers - static_cast<int>(m_idle.size()) < wanted && !m_idle.empty()) {
        IdleReader* reader = m_idle.back();
        m_idle.pop_back();
        reader->woken = true;
        reader->cv.notify_one();
    }
}

void ReadAheadWindow::WakeAllReaders()
{
    for (IdleReader* reader : m_idle) {
        reader->woken = true;
        reader->cv.notify_one();
    }
    m_idle.clear();
}

void ReadAheadWindow::Push(std::vector<ScanStep>& steps, std::size_t chunks)
{
    std::unique_lock lock(m_mutex);
    while (!m_abandoned.load() && !HasRoom()) {
        m_walkerWaiting = true;
        m_walkerCv.wait(lock);
    }
    m_walkerWaiting = false;
    if (m_abandoned.load()) {
        steps.clear();
        return;
    }
    m_chunks += chunks;
    // Chunks the lister took before any reader did.
    while (!m_work.empty() && m_work.front().expired())
        m_work.pop_front();
    for (ScanStep& step : steps) {
        if (step.kind == ScanStep::kCharts && step.chunk->state.load() == ChartChunk::kQueued)
            m_work.push_back(step.chunk);
        m_steps.push_back(std::move(step));
    }
    steps.clear();
    WakeReaders();
    if (m_listerWaiting)
        m_listerCv.notify_one();
}

void ReadAheadWindow::PopAll(std::deque<ScanStep>& out)
{
    std::unique_lock lock(m_mutex);
    while (m_steps.empty()) {
        m_listerWaiting = true;
        m_listerCv.wait(lock);
    }
    m_listerWaiting = false;
    for (ScanStep& step : m_steps) {
        if (step.kind == ScanStep::kCharts)
            --m_chunks;
        out.push_back(std::move(step));
    }
    m_steps.clear();
    if (m_walkerWaiting)
        m_walkerCv.notify_one();
}

void ReadAheadWindow::AwaitDone(const ChartChunk& chunk)
{
    if (chunk.state.load() == ChartChunk::kDone)
        return;
    std::unique_lock lock(m_mutex);
    while (chunk.state.load() != ChartChunk::kDone) {
        m_listerWaiting = true;
        m_listerCv.wait(lock);
    }
    m_listerWaiting = false;
}

void ReadAheadWindow::Retire(ChartChunk& chunk)
{
    std::lock_guard lock(m_mutex);
    chunk.dropped.store(true);
    const bool hadRoom = HasByteRoom();
    m_bytes -= chunk.bytes;
    chunk.bytes = 0;
    if (!hadRoom && HasByteRoom())
        WakeReaders();
}

std::shared_ptr<ChartChunk> ReadAheadWindow::NextWork()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_closed || m_abandoned.load())
            return nullptr;
        const bool withinLimit = m_readers - static_cast<int>(m_idle.size()) <= ReaderLimit();
        if (!m_work.empty() && HasByteRoom() && withinLimit) {
            std::shared_ptr<ChartChunk> chunk = m_work.front().lock();
            m_work.pop_front();
            // The lister may have read it itself, or dropped it, meanwhile.
            if (chunk == nullptr || chunk->dropped.load() || !chunk->Claim())
                continue;
            chunk->reserved = m_chartBytes;
            m_bytes += m_chartBytes;
            return chunk;
        }
        IdleReader self;
        m_idle.push_back(&self);
        self.cv.wait(lock, [&self] { return self.woken; });
    }
}

// Replaces the reservation of the chart read last by the bytes it kept;
// those of a chunk the lister already dropped are gone with it.
void ReadAheadWindow::Settle(ChartChunk& chunk, std::size_t used)
{
    m_bytes -= chunk.reserved;
    chunk.reserved = 0;
    if (!chunk.dropped.load()) {
        m_bytes += used;
        chunk.bytes += used;
    }
}

void ReadAheadWindow::Fit(ChartChunk& chunk, std::size_t need)
{
    std::lock_guard lock(m_mutex);
    if (need >= chunk.reserved)
        return;
    const bool hadRoom = HasByteRoom();
    m_bytes -= chunk.reserved - need;
    chunk.reserved = need;
    if (!hadRoom && HasByteRoom())
        WakeReaders();
}

bool ReadAheadWindow::ReserveNext(ChartChunk& chunk, std::size_t used, std::size_t need)
{
    std::lock_guard lock(m_mutex);
    Settle(chunk, used);
    need = std::min(need, m_chartBytes);
    if (m_bytes + need > m_limits.bytes)
        return false;
    chunk.reserved = need;
    m_bytes += need;
    return true;
}

void ReadAheadWindow::MarkDone(ChartChunk& chunk, std::size_t used)
{
    std::lock_guard lock(m_mutex);
    const bool hadRoom = HasByteRoom();
    Settle(chunk, used);
    chunk.state.store(ChartChunk::kDone);
    if (m_deviceWaitChunks > 0)
        --m_deviceWaitChunks;
    if (m_listerWaiting)
        m_listerCv.notify_one();
    if (!hadRoom && HasByteRoom())
        WakeReaders();
}

void ReadAheadWindow::NoteDeviceWait()
{
    std::lock_guard lock(m_mutex);
    const bool wasWaiting = m_deviceWaitChunks > 0;
    m_deviceWaitChunks = kDeviceWaitSpan;
    if (!wasWaiting)
        WakeReaders();
}

void ReadAheadWindow::AddReader()
{
    std::lock_guard lock(m_mutex);
    ++m_readers;
}

void ReadAheadWindow::RemoveReader()
{
    std::lock_guard lock(m_mutex);
    --m_readers;
}

void ReadAheadWindow::Close()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    WakeAllReaders();
}

void ReadAheadWindow::Abandon()
{
    std::lock_guard lock(m_mutex);
    m_abandoned.store(true);
    m_walkerCv.notify_all();
    WakeAllReaders();
}

}  // namespace tamboro
