// A thread that does one piece of work and then waits in an event loop until
// it is told to quit, with the code it is to end with. Quits are posted by the
// thread's id, so a poster never has to touch an object that may be gone:
// posting to a thread that has ended, or to an id that never existed, does
// nothing.
//
// Unlike QThread::exit, the FIRST quit posted wins, also when it arrives
// before the loop has started (QThread::exit called twice before exec makes
// exec return the second code, and a call before start is forgotten).
#pragma once

#include <QDeadlineTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

namespace tamboro {

class WorkerThread : public QThread {
    Q_OBJECT
public:
    // Ids are handed out from 1 upwards and never reused within a process;
    // 0 is never a thread.
    using Id = uint64_t;

    enum class Phase {
        Created,  // start() not called yet, or the thread not yet running
        Working,  // InitInstance is running
        Waiting,  // InitInstance succeeded; waiting in the loop for a quit
        Ended,    // the thread has ended (or the id is unknown)
    };

    explicit WorkerThread(QObject* parent = nullptr);
    ~WorkerThread() override;

    Id ThreadId() const { return m_id; }

    // Deletes the object (on the thread it lives in, through its event loop)
    // once the thread has ended. Set before start().
    void SetAutoDelete(bool autoDelete);

    // Starts the thread. False when it could not be created (no thread
    // resource, a stack size the system refuses): the thread never runs, its
    // phase is Ended at once, and an auto-delete object is deleted later.
    bool Start();

    // Sets the stop flag of the thread `id` while its work may still run
    // (it has not started it yet, or is in InitInstance). False when its work
    // is over, it has ended, or the id is unknown.
    static bool AskToStop(Id id);

    // Queues a quit with `code` for the thread `id`. The first quit a thread
    // gets decides its exit code; later ones are dropped. Returns false when
    // no running or not yet ended thread has that id.
    static bool PostQuit(Id id, int code);

    // The phase of the thread `id`; Ended for an unknown id.
    static Phase PhaseOf(Id id);

    // Waits until the thread `id` is no longer in InitInstance (it waits for
    // its quit, or has ended), at most `timeout`. True when it is no longer
    // working.
    static bool WaitWhileWorking(Id id, std::chrono::milliseconds timeout);

    // Sets the stop flag of every thread that has not ended, posts each a
    // quit with `code`, and waits for all of them to end. Called on the
    // application's thread, it keeps that thread's events flowing while it
    // waits, so that a worker blocked in a call to it can finish the call.
    // Objects set to auto-delete are deleted before it returns.
    static void EndAllAndJoin(int code);
    // The same for the threads `ids` only; unknown or ended ids are skipped.
    static void EndAndJoin(const std::vector<Id>& ids, int code);

protected:
    // Set once the thread is asked to give up its work (by AskToStop, or at
    // program end by EndAndJoin); the work tests it where it can stop.
    const std::atomic<bool>& StopFlag() const { return m_stopRequested; }

    // Runs `call` on the thread of `context` and waits until it has run, or
    // until Qt dropped it unrun because `context` went away first (so the
    // wait always ends). Called on that thread itself, it runs `call` at once.
    static void CallOnThreadOf(QObject* context, const std::function<void()>& call);

    // The work, on the new thread. True leads to the wait for a quit, false
    // ends the thread at once.
    virtual bool InitInstance() = 0;
    // The thread's exit code, given the quit code (after a successful
    // InitInstance) or 0 (after a failed one).
    virtual int ExitInstance(int code) { return code; }

    // Takes the same mutex as Join() before the event is handled: the
    // deferred delete of an auto-delete thread comes from the ending thread.
    bool event(QEvent* event) override;

private:
    // Tests reach the members below through WorkerThreadTesting.
    friend class WorkerThreadTesting;

    // Told the id and exit code of each thread as it ends, before its phase
    // reads Ended (on the ending thread, under the registry's lock). Nothing
    // keeps the codes unless the observer does; none is set in the program.
    using EndObserver = void (*)(Id id, int code);
    static void SetEndObserver(EndObserver observer);

    // Number of thread objects that exist.
    static int LiveCount();

    // Waits until the thread has ended, at most until `deadline`, like
    // QThread::wait; once it has, everything the thread did is ordered
    // before the caller's next steps through a standard mutex too.
    // QThread::wait orders them through Qt's own futex-based locks, which
    // thread checkers (ThreadSanitizer) cannot see; without this they would
    // take e.g. deleting the ended thread's object for a race.
    bool Join(QDeadlineTimer deadline);

    void run() final;

    const Id m_id;
    // Guarded by the registry's mutex.
    Phase m_phase = Phase::Created;
    bool m_quitPosted = false;
    std::atomic<bool> m_autoDelete{false};
    std::atomic<bool> m_stopRequested{false};
    int m_quitCode = 0;
};

}  // namespace tamboro
