// The folders a read-ahead scan keeps open while their charts wait to be
// read: each holds a descriptor, so there are never more than a set number.
// Taking and giving back a slot touch one counter; the lock is taken only
// by, and for, someone who waits. A wait for a slot lasts until a quarter
// of them are free, so that a walk far ahead of the lister does not wake
// for every folder closed.
#pragma once

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>

namespace tamboro {

class FolderSlots {
public:
    explicit FolderSlots(std::size_t limit)
        : m_limit(limit), m_resumeAt(limit - std::min(limit, std::max<std::size_t>(1, limit / 4)))
    {}

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
    // Waits, with the lock held, until `done` (or abandoned).
    template <typename Done>
    void Await(std::unique_lock<std::mutex>& lock, Done done);

    const std::size_t m_limit;
    // Held slots at which a wait for a slot ends.
    const std::size_t m_resumeAt;
    std::atomic<std::size_t> m_held{0};
    // Threads waiting: a release then wakes them under the lock.
    std::atomic<int> m_waiting{0};
    std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_abandoned = false;
};

}  // namespace tamboro
