// What only the program's tests reach in WorkerThread: the exit
// codes of ended threads, how many thread objects exist, and a join.
//
// Any program that includes this header records the exit code of every
// thread that ends, from before main on, so that a test can read the code of
// a thread whose object was deleted long ago. The program itself keeps none.
#pragma once

#include <QDeadlineTimer>
#include <chrono>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "worker/WorkerThread.h"

namespace tamboro {

class WorkerThreadTesting {
public:
    // The exit code of an ended thread: the code of its first quit, or
    // ExitInstance's answer after a failed InitInstance. nullopt while the
    // thread runs, after a failed start, or for an unknown id.
    static std::optional<int> ExitCodeOf(WorkerThread::Id id)
    {
        (void)s_recording;  // makes sure the recorder is installed
        ExitCodes& recorded = Recorded();
        std::lock_guard lock(recorded.mutex);
        const auto it = recorded.codes.find(id);
        if (it == recorded.codes.end())
            return std::nullopt;
        return it->second;
    }

    // Number of thread objects that exist.
    static int LiveCount() { return WorkerThread::LiveCount(); }

    // Waits up to `timeout` for `thread` to end (see WorkerThread::Join).
    static bool Join(WorkerThread& thread, std::chrono::milliseconds timeout)
    {
        return thread.Join(QDeadlineTimer(timeout));
    }

private:
    struct ExitCodes {
        std::mutex mutex;
        std::unordered_map<WorkerThread::Id, int> codes;
    };

    static ExitCodes& Recorded()
    {
        static ExitCodes* recorded = new ExitCodes;  // never destroyed: threads may outlive statics
        return *recorded;
    }

    static void Record(WorkerThread::Id id, int code)
    {
        ExitCodes& recorded = Recorded();
        std::lock_guard lock(recorded.mutex);
        recorded.codes[id] = code;
    }

    static inline const bool s_recording = (WorkerThread::SetEndObserver(&Record), true);
};

}  // namespace tamboro
