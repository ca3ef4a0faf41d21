// The folders a read-ahead scan keeps open while their charts wait to be
// read: each holds a descriptor, so there are never more than a set number.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace tamboro {

class FolderSlots {
public:
    explicit FolderSlots(std::size_t limit) : m_limit(limit) {}

    // Takes a slot if one is free.
    bool TryAcquire();
    // Waits for a free slot and takes it; false once abandoned.
    bool Acquire();
    // A folder was closed.
    void Release();
    // Waits until every folder is closed (or abandoned).
    void AwaitNoneHeld();
    // Whoever waits returns, and no one waits from now on.
    void Abandon();

private:
    const std::size_t m_limit;
    std::mutex m_mutex;
    std::condition_variable m_released;
    std::size_t m_held = 0;
    bool m_abandoned = false;
};

}  // namespace tamboro
