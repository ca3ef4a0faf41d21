// How long the index waits for another program's lock on its file: at most
// ten seconds in all over one step, the open and load of the index or its
// save, however many statements of that step (on however many connections)
// meet the lock. SQLite's own busy timeout would give each statement the
// whole time again.
#pragma once

#include <cstdint>

struct sqlite3;

namespace tamboro {

inline constexpr int64_t kLockWaitMs = 10'000;

class LockWait {
public:
    // A new step: the wait for locks ends kLockWaitMs from now.
    void Restart();
    // Makes `db` wait for locks until this step's end, through this object,
    // which must stay where it is while `db` is open. Connections of other
    // threads may share it while nothing restarts it.
    void Attach(sqlite3* db) const;

private:
    // SQLite's busy handler: true (1) to try again after a short sleep.
    static int OnBusy(void* self, int attempts);

    int64_t m_endNs = 0;  // CLOCK_MONOTONIC
};

}  // namespace tamboro
