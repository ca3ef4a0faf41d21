// The worker thread's quit rules: first quit wins (also before the loop or
// before start), posting by id to a thread that is gone does nothing, and
// ending every thread at program end joins them all, also one that is
// waiting for a call to the application thread.
#include <QCoreApplication>
#include <QPointer>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <vector>

#include "tests/support/WorkerThreadTesting.h"
#include "worker/WorkerThread.h"

namespace tamboro {
namespace {

// InitInstance waits at a gate the test opens, then reports `succeed`.
class GatedThread : public WorkerThread {
public:
    explicit GatedThread(bool succeed = true) : m_succeed(succeed) {}

    QSemaphore entered;  // released once InitInstance runs
    QSemaphore gate;     // InitInstance waits for one

protected:
    bool InitInstance() override
    {
        entered.release();
        gate.acquire();
        return m_succeed;
    }
    int ExitInstance(int code) override { return m_succeed ? code : 77; }

private:
    bool m_succeed;
};

// InitInstance makes one call to the application thread and waits for it.
class CallingThread : public WorkerThread {
public:
    explicit CallingThread(QObject* context) : m_context(context) {}
    std::atomic<bool> callDone{false};

protected:
    bool InitInstance() override
    {
        CallOnThreadOf(m_context, [this] { callDone = true; });
        return true;
    }

private:
    QObject* m_context;
};

// InitInstance makes one call through CallOnThreadOf and notes that it
// returned; `after` runs on the thread right after the return.
class OneCallThread : public WorkerThread {
public:
    OneCallThread(QObject* context, std::function<void()> call, std::function<void()> after = {})
        : m_context(context), m_call(std::move(call)), m_after(std::move(after))
    {}
    std::atomic<bool> returned{false};
    using WorkerThread::CallOnThreadOf;

protected:
    bool InitInstance() override
    {
        CallOnThreadOf(m_context, m_call);
        if (m_after)
            m_after();
        returned = true;
        return true;
    }

private:
    QObject* m_context;
    std::function<void()> m_call;
    std::function<void()> m_after;
};

bool WaitForPhase(WorkerThread::Id id, WorkerThread::Phase phase)
{
    for (int i = 0; i < 2000; ++i) {
        if (WorkerThread::PhaseOf(id) == phase)
            return true;
        QTest::qWait(5);
    }
    return false;
}

}  // namespace

class WorkerThreadTest : public QObject {
    Q_OBJECT
private slots:
    void idsAreDistinctAndNeverZero()
    {
        GatedThread a;
        GatedThread b;
        QVERIFY(a.ThreadId() != 0);
        QVERIFY(b.ThreadId() != 0);
        QVERIFY(a.ThreadId() != b.ThreadId());
    }

    void phasesFollowTheThreadsLife()
    {
        GatedThread thread;
        const auto id = thread.ThreadId();
        QCOMPARE(WorkerThread::PhaseOf(id), WorkerThread::Phase::Created);
        thread.start();
        QVERIFY(thread.entered.tryAcquire(1, 5000));
        QCOMPARE(WorkerThread::PhaseOf(id), WorkerThread::Phase::Working);
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::nullopt);
        thread.gate.release();
        QVERIFY(WaitForPhase(id, WorkerThread::Phase::Waiting));
        QVERIFY(thread.isRunning());
        QVERIFY(WorkerThread::PostQuit(id, 14));
        QVERIFY(WorkerThreadTesting::Join(thread, std::chrono::seconds(5)));
        QCOMPARE(WorkerThread::PhaseOf(id), WorkerThread::Phase::Ended);
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(14));
    }

    // Quits that arrive while InitInstance runs wait for the loop; the first
    // one decides, not the last as with two QThread::exit calls before exec.
    void firstQuitWinsWhenPostedBeforeTheLoop_data()
    {
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("second");
        QTest::newRow("stop then finished") << 13 << 14;
        QTest::newRow("finished then stop") << 14 << 13;
    }
    void firstQuitWinsWhenPostedBeforeTheLoop()
    {
        QFETCH(int, first);
        QFETCH(int, second);
        GatedThread thread;
        thread.start();
        QVERIFY(thread.entered.tryAcquire(1, 5000));
        QVERIFY(WorkerThread::PostQuit(thread.ThreadId(), first));
        QVERIFY(WorkerThread::PostQuit(thread.ThreadId(), second));
        thread.gate.release();
        QVERIFY(WorkerThreadTesting::Join(thread, std::chrono::seconds(5)));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(thread.ThreadId()), std::optional<int>(first));
    }

    // QThread::start forgets an exit() made before it; a posted quit is kept.
    void quitPostedBeforeStartIsKept()
    {
        GatedThread thread;
        QVERIFY(WorkerThread::PostQuit(thread.ThreadId(), 13));
        QVERIFY(WorkerThread::PostQuit(thread.ThreadId(), 14));
        thread.gate.release();
        thread.start();
        QVERIFY(WorkerThreadTesting::Join(thread, std::chrono::seconds(5)));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(thread.ThreadId()), std::optional<int>(13));
    }

    void laterQuitsToAWaitingThreadAreDropped()
    {
        GatedThread thread;
        thread.gate.release();
        thread.start();
        QVERIFY(WaitForPhase(thread.ThreadId(), WorkerThread::Phase::Waiting));
        QVERIFY(WorkerThread::PostQuit(thread.ThreadId(), 13));
        WorkerThread::PostQuit(thread.ThreadId(), 14);
        QVERIFY(WorkerThreadTesting::Join(thread, std::chrono::seconds(5)));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(thread.ThreadId()), std::optional<int>(13));
        // The thread is gone: nothing more to post to.
        QVERIFY(!WorkerThread::PostQuit(thread.ThreadId(), 14));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(thread.ThreadId()), std::optional<int>(13));
    }

    void failedInitInstanceEndsWithoutWaitingForAQuit()
    {
        GatedThread thread(false);
        thread.gate.release();
        thread.start();
        QVERIFY(WorkerThreadTesting::Join(thread, std::chrono::seconds(5)));
        QCOMPARE(WorkerThread::PhaseOf(thread.ThreadId()), WorkerThread::Phase::Ended);
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(thread.ThreadId()), std::optional<int>(77));
        QVERIFY(!WorkerThread::PostQuit(thread.ThreadId(), 14));
    }

    void postingToAnUnknownIdDoesNothing()
    {
        QVERIFY(!WorkerThread::PostQuit(0, 13));
        QVERIFY(!WorkerThread::PostQuit(0xFFFFFFFFFFFFull, 13));
        QCOMPARE(WorkerThread::PhaseOf(0), WorkerThread::Phase::Ended);
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(0), std::nullopt);
    }

    // An auto-delete thread is deleted once it has ended; its id stays safe
    // to post to and its exit code can still be read.
    void autoDeletedThreadCanStillBeAddressedById()
    {
        const int before = WorkerThreadTesting::LiveCount();
        auto* thread = new GatedThread;
        thread->SetAutoDelete(true);
        QPointer<GatedThread> guard(thread);
        const auto id = thread->ThreadId();
        thread->gate.release();
        thread->start();
        QVERIFY(WaitForPhase(id, WorkerThread::Phase::Waiting));
        QVERIFY(WorkerThread::PostQuit(id, 13));
        QTRY_VERIFY_WITH_TIMEOUT(guard.isNull(), 5000);
        QCOMPARE(WorkerThreadTesting::LiveCount(), before);
        QVERIFY(!WorkerThread::PostQuit(id, 14));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(13));
    }

    // A call runs on the context's thread, and the caller goes on only after
    // it: what the call wrote is there for the caller (read without a lock),
    // and what the caller wrote before the call is there for the call.
    void callRunsOnTheContextThreadBeforeTheCallerGoesOn()
    {
        QObject context;
        std::vector<int> handedOver;
        std::vector<int> handedBack;
        QThread* ranOn = nullptr;
        std::size_t seenByCall = 0;
        std::size_t seenAfterReturn = 0;
        OneCallThread thread(
            &context,
            [&] {
                ranOn = QThread::currentThread();
                seenByCall = handedOver.size();
                QThread::msleep(20);  // the caller must still be waiting
                handedBack.assign(3, 7);
            },
            [&] { seenAfterReturn = handedBack.size(); });
        handedOver.assign(5, 1);  // written before the thread starts
        thread.start();
        QVERIFY(WaitForPhase(thread.ThreadId(), WorkerThread::Phase::Waiting));
        WorkerThread::PostQuit(thread.ThreadId(), 14);
        QVERIFY(WorkerThreadTesting::Join(thread, std::chrono::seconds(5)));
        QCOMPARE(ranOn, QThread::currentThread());
        QCOMPARE(seenByCall, std::size_t(5));
        QCOMPARE(seenAfterReturn, std::size_t(3));

        // On the context's own thread the call runs at once.
        bool ranAtOnce = false;
        OneCallThread::CallOnThreadOf(&context, [&] { ranAtOnce = true; });
        QVERIFY(ranAtOnce);
    }

    // A call Qt drops unrun still ends the caller's wait. A receiver's
    // destructor drops its queued calls just like removePostedEvents.
    void droppedCallEndsTheWait()
    {
        QObject context;
        std::atomic<bool> ran{false};
        OneCallThread thread(&context, [&ran] { ran = true; });
        thread.start();
        // This thread serves no events here: the call can only be dropped.
        for (int i = 0; i < 5000 && !thread.returned; ++i) {
            QCoreApplication::removePostedEvents(&context, QEvent::MetaCall);
            QThread::msleep(1);
        }
        QVERIFY(thread.returned);
        QVERIFY(!ran);
        WorkerThread::PostQuit(thread.ThreadId(), 14);
        QVERIFY(WorkerThreadTesting::Join(thread, std::chrono::seconds(5)));
    }

    // At program end: threads waiting in their loops, one still in its work
    // and one blocked in a call to this thread are all ended and joined.
    void endAllJoinsEveryThread()
    {
        const int before = WorkerThreadTesting::LiveCount();
        auto* waiting = new GatedThread;
        auto* working = new GatedThread;
        QObject context;
        auto* calling = new CallingThread(&context);
        for (WorkerThread* thread : {static_cast<WorkerThread*>(waiting), static_cast<WorkerThread*>(working),
                                     static_cast<WorkerThread*>(calling)})
            thread->SetAutoDelete(true);
        const auto waitingId = waiting->ThreadId();
        const auto workingId = working->ThreadId();
        const auto callingId = calling->ThreadId();
        waiting->gate.release();
        waiting->start();
        working->start();
        calling->start();
        QVERIFY(WaitForPhase(waitingId, WorkerThread::Phase::Waiting));
        QVERIFY(working->entered.tryAcquire(1, 5000));
        // Let the working thread finish its work only after the end began.
        QSemaphore* gate = &working->gate;
        QTimer::singleShot(50, [gate] { gate->release(); });

        WorkerThread::EndAllAndJoin(14);

        QCOMPARE(WorkerThreadTesting::LiveCount(), before);
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(waitingId), std::optional<int>(14));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(workingId), std::optional<int>(14));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(callingId), std::optional<int>(14));
    }
};

}  // namespace tamboro

QTEST_GUILESS_MAIN(tamboro::WorkerThreadTest)
#include "WorkerThreadTest.moc"
