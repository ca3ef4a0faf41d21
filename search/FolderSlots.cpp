#include "search/FolderSlots.h"

namespace tamboro {

bool FolderSlots::TryAcquire()
{
    std::lock_guard lock(m_mutex);
    if (m_held >= m_limit)
        return false;
    ++m_held;
    return true;
}

bool FolderSlots::Acquire()
{
    std::unique_lock lock(m_mutex);
    m_released.wait(lock, [this] { return m_abandoned || m_held < m_limit; });
    if (m_abandoned)
        return false;
    ++m_held;
    return true;
}

void FolderSlots::Release()
{
    std::lock_guard lock(m_mutex);
    --m_held;
    m_released.notify_all();
}

void FolderSlots::AwaitNoneHeld()
{
    std::unique_lock lock(m_mutex);
    m_released.wait(lock, [this] { return m_abandoned || m_held == 0; });
}

void FolderSlots::Abandon()
{
    std::lock_guard lock(m_mutex);
    m_abandoned = true;
    m_released.notify_all();
}

}  // namespace tamboro
