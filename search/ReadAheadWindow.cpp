#include "search/ReadAheadWindow.h"

namespace tamboro {

bool ReadAheadWindow::HasRoomFor(const ScanStep& step) const
{
    if (m_steps.size() >= m_limits.steps)
        return false;
    return step.kind != ScanStep::kCharts || m_chunks < m_limits.chunks;
}

void ReadAheadWindow::Push(ScanStep step)
{
    std::unique_lock lock(m_mutex);
    while (!m_abandoned.load() && !HasRoomFor(step)) {
        m_walkerWaiting = true;
        m_walkerCv.wait(lock);
    }
    m_walkerWaiting = false;
    if (m_abandoned.load())
        return;
    if (step.kind == ScanStep::kCharts) {
        ++m_chunks;
        if (step.chunk->state.load() == ChartChunk::kQueued) {
            m_work.push_back(step.chunk);
            if (m_idleReaders > 0)
                m_readerCv.notify_one();
        }
    }
    m_steps.push_back(std::move(step));
    if (m_listerWaiting)
        m_listerCv.notify_one();
}

ScanStep ReadAheadWindow::Pop()
{
    std::unique_lock lock(m_mutex);
    while (m_steps.empty()) {
        m_listerWaiting = true;
        m_listerCv.wait(lock);
    }
    m_listerWaiting = false;
    ScanStep step = std::move(m_steps.front());
    m_steps.pop_front();
    if (step.kind == ScanStep::kCharts)
        --m_chunks;
    if (m_walkerWaiting)
        m_walkerCv.notify_one();
    return step;
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
    if (!chunk.counted)
        return;
    const bool wasFull = m_bytes >= m_limits.bytes;
    m_bytes -= chunk.bytes;
    chunk.counted = false;
    if (wasFull && m_bytes < m_limits.bytes && m_idleReaders > 0)
        m_readerCv.notify_all();
}

std::shared_ptr<ChartChunk> ReadAheadWindow::NextWork()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        if (m_closed || m_abandoned.load())
            return nullptr;
        if (!m_work.empty() && m_bytes < m_limits.bytes) {
            std::shared_ptr<ChartChunk> chunk = std::move(m_work.front());
            m_work.pop_front();
            // The lister may have read it itself, or dropped it, meanwhile.
            if (!chunk->dropped.load() && chunk->Claim())
                return chunk;
            continue;
        }
        ++m_idleReaders;
        m_readerCv.wait(lock);
        --m_idleReaders;
    }
}

void ReadAheadWindow::MarkDone(ChartChunk& chunk)
{
    std::lock_guard lock(m_mutex);
    // Bytes of a chunk the lister already dropped are gone with it.
    if (!chunk.dropped.load()) {
        m_bytes += chunk.bytes;
        chunk.counted = true;
    }
    chunk.state.store(ChartChunk::kDone);
    if (m_listerWaiting)
        m_listerCv.notify_one();
}

void ReadAheadWindow::Close()
{
    std::lock_guard lock(m_mutex);
    m_closed = true;
    m_readerCv.notify_all();
}

void ReadAheadWindow::Abandon()
{
    std::lock_guard lock(m_mutex);
    m_abandoned.store(true);
    m_walkerCv.notify_all();
    m_readerCv.notify_all();
}

}  // namespace tamboro
