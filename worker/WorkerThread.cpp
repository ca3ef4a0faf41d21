#include "worker/WorkerThread.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEvent>
#include <QMetaObject>
#include <QPointer>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace tamboro {
namespace {

// Every thread object by id. One mutex guards it and the quit state of
// every thread.
struct Registry {
    std::mutex mutex;
    std::condition_variable phaseLeftWorking;  // a thread left InitInstance
    WorkerThread::Id nextId = 1;
    std::unordered_map<WorkerThread::Id, WorkerThread*> threads;
    void (*endObserver)(WorkerThread::Id, int) = nullptr;
};

Registry& TheRegistry()
{
    static Registry* registry = new Registry;  // never destroyed: threads may outlive statics
    return *registry;
}

// Takes and drops the registry's mutex: what a thread did before it last
// released it is then ordered before the caller's next steps.
void SyncWithRegistry()
{
    std::lock_guard lock(TheRegistry().mutex);
}

WorkerThread::Id NewId()
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.nextId++;
}

bool OnApplicationThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app != nullptr && QThread::currentThread() == app->thread();
}

// Qt hands calls and events between threads through its own futex-based
// locks, which thread checkers (ThreadSanitizer) cannot see, so they would
// take everything handed over with a call for a race. The handing over is
// therefore ordered once more through standard mutexes:
//
// A thread holds the post fence from before it posts a call until the post
// is complete (the call object and Qt's event are written by then), and the
// call takes the fence before it reads any of it. Recursive, because a post
// that fails at once destroys the call on the posting thread, inside the post.
std::recursive_mutex& PostFence()
{
    static std::recursive_mutex fence;
    return fence;
}

struct PostedCallState {
    std::mutex mutex;
    std::condition_variable over;
    bool isOver = false;
};

// Travels inside the posted call and tells the waiting poster that the call
// is over when it goes: after it ran, or unrun when Qt dropped the call
// because the receiver was destroyed.
class PostedCallEnd {
public:
    explicit PostedCallEnd(std::shared_ptr<PostedCallState> state) : m_state(std::move(state)) {}
    PostedCallEnd(PostedCallEnd&& other) noexcept : m_state(std::move(other.m_state)) {}
    PostedCallEnd(const PostedCallEnd&) = delete;
    PostedCallEnd& operator=(const PostedCallEnd&) = delete;
    PostedCallEnd& operator=(PostedCallEnd&&) = delete;
    ~PostedCallEnd()
    {
        std::lock_guard fence(PostFence());  // before this object is read
        if (!m_state)
            return;  // moved from
        std::lock_guard lock(m_state->mutex);
        m_state->isOver = true;
        m_state->over.notify_all();
    }

private:
    std::shared_ptr<PostedCallState> m_state;
};

}  // namespace

WorkerThread::WorkerThread(QObject* parent) : QThread(parent), m_id(NewId())
{
    // The last code of ours on the ending thread. It holds the registry's
    // mutex, which Join() and a deferred delete take before the object may
    // go, so that thread checkers see the order too (see PostFence).
    connect(
        this, &QThread::finished, this,
        [this] {
            std::lock_guard lock(TheRegistry().mutex);
            if (m_autoDelete)
                deleteLater();
        },
        Qt::DirectConnection);
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.threads.emplace(m_id, this);
}

WorkerThread::~WorkerThread()
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.threads.erase(m_id);
}

bool WorkerThread::Join(QDeadlineTimer deadline)
{
    const bool ended = wait(deadline);
    if (ended)
        SyncWithRegistry();  // see the finished handler
    return ended;
}

bool WorkerThread::event(QEvent* event)
{
    // Before the event is read: the deferred delete is made by the ending
    // thread (see the finished handler).
    SyncWithRegistry();
    return QThread::event(event);
}

void WorkerThread::CallOnThreadOf(QObject* context, const std::function<void()>& call)
{
    if (QThread::currentThread() == context->thread()) {
        call();
        return;
    }
    auto state = std::make_shared<PostedCallState>();
    {
        std::lock_guard fence(PostFence());
        QMetaObject::invokeMethod(
            context,
            [&call, end = PostedCallEnd(state)] {
                {
                    std::lock_guard posted(PostFence());
                }  // the post is complete
                call();
            },
            Qt::QueuedConnection);
    }
    std::unique_lock lock(state->mutex);
    state->over.wait(lock, [&state] { return state->isOver; });
}

void WorkerThread::SetAutoDelete(bool autoDelete)
{
    // Posted straight from the ending thread, so that the deletion does not
    // wait behind a queued call first (EndAllAndJoin relies on it).
    m_autoDelete = autoDelete;
}

bool WorkerThread::Start()
{
    start();
    // QThread::start reports a failed creation only as a warning; the
    // thread then neither runs nor has finished.
    if (isRunning() || isFinished())
        return true;
    Registry& registry = TheRegistry();
    {
        std::lock_guard lock(registry.mutex);
        m_phase = Phase::Ended;
    }
    registry.phaseLeftWorking.notify_all();
    if (m_autoDelete)
        deleteLater();
    return false;
}

bool WorkerThread::PostQuit(Id id, int code)
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.threads.find(id);
    if (it == registry.threads.end())
        return false;
    WorkerThread* thread = it->second;
    if (thread->m_phase == Phase::Ended)
        return false;
    if (thread->m_quitPosted)
        return true;  // an earlier quit decides the exit code
    thread->m_quitPosted = true;
    thread->m_quitCode = code;
    // Before the loop runs, run() finds m_quitPosted and never enters it.
    // Once the phase is Waiting, the loop is running or about to run; exit()
    // ends it, or makes exec() return at once.
    if (thread->m_phase == Phase::Waiting)
        thread->exit(code);
    return true;
}

bool WorkerThread::AskToStop(Id id)
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.threads.find(id);
    if (it == registry.threads.end())
        return false;
    WorkerThread* thread = it->second;
    if (thread->m_phase != Phase::Created && thread->m_phase != Phase::Working)
        return false;
    thread->m_stopRequested = true;
    return true;
}

WorkerThread::Phase WorkerThread::PhaseOf(Id id)
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.threads.find(id);
    return it == registry.threads.end() ? Phase::Ended : it->second->m_phase;
}

bool WorkerThread::WaitWhileWorking(Id id, std::chrono::milliseconds timeout)
{
    Registry& registry = TheRegistry();
    std::unique_lock lock(registry.mutex);
    return registry.phaseLeftWorking.wait_for(lock, timeout, [&registry, id] {
        const auto it = registry.threads.find(id);
        return it == registry.threads.end() || it->second->m_phase != Phase::Working;
    });
}

void WorkerThread::SetEndObserver(EndObserver observer)
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.endObserver = observer;
}

int WorkerThread::LiveCount()
{
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return static_cast<int>(registry.threads.size());
}

void WorkerThread::EndAllAndJoin(int code)
{
    std::vector<Id> ids;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        for (const auto& entry : registry.threads)
            ids.push_back(entry.first);
    }
    EndAndJoin(ids, code);
}

void WorkerThread::EndAndJoin(const std::vector<Id>& ids, int code)
{
    std::vector<QPointer<WorkerThread>> threads;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        for (const Id id : ids) {
            const auto it = registry.threads.find(id);
            if (it == registry.threads.end())
                continue;
            it->second->m_stopRequested = true;
            threads.emplace_back(it->second);
        }
    }
    for (const Id id : ids)
        PostQuit(id, code);

    const bool pump = OnApplicationThread();
    for (const QPointer<WorkerThread>& thread : threads) {
        // A worker may be waiting for a call it made to this thread: serve
        // such calls while waiting, or neither side would ever go on.
        while (thread != nullptr && !thread->Join(QDeadlineTimer(pump ? 10 : 1000))) {
            if (pump)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
    }
    if (pump)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void WorkerThread::run()
{
    Registry& registry = TheRegistry();
    {
        std::lock_guard lock(registry.mutex);
        m_phase = Phase::Working;
    }
    const bool ok = InitInstance();
    int code = 0;
    if (ok) {
        bool quitPosted;
        {
            std::lock_guard lock(registry.mutex);
            m_phase = Phase::Waiting;
            quitPosted = m_quitPosted;
            code = m_quitCode;
        }
        registry.phaseLeftWorking.notify_all();
        if (!quitPosted) {
            const int loopCode = exec();
            std::lock_guard lock(registry.mutex);
            // A plain quit()/exit() from elsewhere also ends the loop; its
            // code stands only when no quit was posted.
            code = m_quitPosted ? m_quitCode : loopCode;
        }
    }
    code = ExitInstance(code);
    {
        std::lock_guard lock(registry.mutex);
        if (registry.endObserver != nullptr)
            registry.endObserver(m_id, code);
        m_phase = Phase::Ended;
    }
    registry.phaseLeftWorking.notify_all();
}

}  // namespace tamboro
