#include "library/LockWait.h"

#include <algorithm>
#include <ctime>
#include <iterator>
#include <sqlite3.h>

namespace tamboro {
namespace {

int64_t MonotonicNs()
{
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

}  // namespace

void LockWait::Restart()
{
    m_endNs = MonotonicNs() + kLockWaitMs * 1'000'000;
}

void LockWait::Attach(sqlite3* db) const
{
    // Only read by the handler.
    sqlite3_busy_handler(db, &LockWait::OnBusy, const_cast<LockWait*>(this));
}

int LockWait::OnBusy(void* self, int attempts)
{
    // SQLite's own steps: short at first, as most locks are held briefly.
    static constexpr int kSleepsMs[] = {1, 2, 5, 10, 15, 20, 25, 25, 25, 50, 50, 100};
    const int64_t leftNs = static_cast<const LockWait*>(self)->m_endNs - MonotonicNs();
    if (leftNs <= 0)
        return 0;
    const int step = std::min<int>(attempts, static_cast<int>(std::size(kSleepsMs)) - 1);
    const int64_t leftMs = (leftNs + 999'999) / 1'000'000;
    sqlite3_sleep(static_cast<int>(std::min<int64_t>(kSleepsMs[step], leftMs)));
    return 1;
}

}  // namespace tamboro
