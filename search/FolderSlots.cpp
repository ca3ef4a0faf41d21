#include "search/FolderSlots.h"

namespace tamboro {

bool FolderSlots::TryAcquire()
{
    std::size_t held = m_held.load();
    while (held < m_limit) {
        if (m_held.compare_exchange_weak(held, held + 1))
            return true;
    }
    return false;
}

// A waiter counts itself before it looks at the slots, and a release gives
// its slot back before it looks for waiters: one of the two sees the other,
// so no wake is missed.
template <typename Done>
void FolderSlots::Await(std::unique_lock<std::mutex>& lock, Done done)
{
    ++m_waiting;
    m_released.wait(lock, [&] { return m_abandoned || done(); });
    --m_waiting;
}

bool FolderSlots::Acquire()
{
    std::unique_lock lock(m_mutex);
    bool taken = false;
    Await(lock, [&] { return m_held.load() <= m_resumeAt && (taken = TryAcquire()); });
    return taken;
}

void FolderSlots::Release()
{
    if (--m_held <= m_resumeAt && m_waiting.load() > 0) {
        std::lock_guard lock(m_mutex);
        m_released.notify_all();
    }
}

void FolderSlots::AwaitNoneHeld()
{
    std::unique_lock lock(m_mutex);
    Await(lock, [this] { return m_held.load() == 0; });
}

void FolderSlots::Abandon()
{
    std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_released.notify_all();
}

}  // namespace tamboro
