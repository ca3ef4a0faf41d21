#include "dialog/SearchSession.h"

namespace tamboro {

SearchSession::SearchSession(SearchWindow& window, SharedStateBlock& block, const StateWord& word, QObject* parent)
    : QObject(parent), m_window(window), m_block(block), m_word(word)
{
    for (SessionTimer timer : {SessionTimer::Close, SessionTimer::Watch}) {
        QTimer& ticks = TimerOf(timer);
        ticks.setInterval(kTimerPeriodMs);
        connect(&ticks, &QTimer::timeout, this, [this, timer] { emit TimerFired(static_cast<int>(timer)); });
    }
}

SearchSession::~SearchSession()
{
    EndWorkers();
}

QTimer& SearchSession::TimerOf(SessionTimer timer)
{
    return timer == SessionTimer::Close ? m_closeTimer : m_watchTimer;
}

bool SearchSession::IsTimerRunning(SessionTimer timer) const
{
    return (timer == SessionTimer::Close ? m_closeTimer : m_watchTimer).isActive();
}

bool SearchSession::WordIs(int32_t state) const
{
    // Before the block exists nothing can run.
    const int32_t current = m_word.IsValid() ? m_word.Load() : int32_t(SS_IDLE);
    return current == state;
}

bool SearchSession::MayStartSearch()
{
    WorkerThread::Phase lastPhase = WorkerThread::PhaseOf(m_searchThreadId);
    // Pressed the moment the last scan gave Search back: its worker has yet
    // to mark the word idle, which takes it a moment and nothing from this
    // thread. Wait for that; a new worker started before it would have its
    // running word overwritten by that late idle, and its scan could then
    // be neither stopped nor waited for by a close.
    if (lastPhase == WorkerThread::Phase::Working && m_bSearchGivenBack &&
        WorkerThread::WaitWhileWorking(m_searchThreadId, std::chrono::seconds(1)))
        lastPhase = WorkerThread::PhaseOf(m_searchThreadId);
    // Pressed again before the last worker has taken the Search button
    // away: that worker is about to scan, so this press is one too many.
    if (lastPhase == WorkerThread::Phase::Created || lastPhase == WorkerThread::Phase::Working)
        return false;
    // Pressed after the last search ended but before the watch timer told
    // its worker so: tell it now, or it would wait until the program ends.
    if (lastPhase == WorkerThread::Phase::Waiting)
        WorkerThread::PostQuit(m_searchThreadId, CodeOf(WorkerQuitCode::SearchFinished));
    return true;
}

void SearchSession::Start(const std::string& root, const SearchChoices& choices)
{
    if (!MayStartSearch())
        return;
    std::erase_if(m_startedThreads,
                  [](WorkerThread::Id id) { return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended; });
    emit SearchStarting();

    auto* search = new CBmsSearch(m_window, root, m_block);
    search->SetAutoDelete(true);
    if (m_workerSettings.startHook)
        search->SetStartHook(m_workerSettings.startHook);
    search->SetHandOverPeriod(m_workerSettings.handOverPeriod);
    search->SetChoices(choices);
    if (m_workerSettings.stackSize != 0)
        search->setStackSize(m_workerSettings.stackSize);
    m_searchThreadId = search->ThreadId();
    m_bSearchGivenBack = false;
    if (!search->Start()) {
        // No thread: nothing to report or watch, the buttons stay as they
        // are, and the next press starts a new search.
        m_watchTimer.stop();
        return;
    }
    m_startedThreads.push_back(m_searchThreadId);
    m_watchTimer.start();
}

void SearchSession::RequestStop()
{
    // One step from running to stopping: a worker that goes idle at the
    // same moment can never leave the word stuck at SS_STOP. It stops the
    // search that runs in the session, this window's or another's.
    if (!m_word.IsValid() || !m_word.CompareExchange(SS_RUNNING, SS_STOP))
        return;
    // By thread id: the worker object may already be gone, and a window
    // that never started a worker (another instance was running) posts
    // nothing.
    if (m_searchThreadId != 0)
        WorkerThread::PostQuit(m_searchThreadId, CodeOf(WorkerQuitCode::StopRequested));
}

void SearchSession::StopOwnSearch()
{
    // The word reads idle while this window's scan still runs once another
    // window's search ended and wrote it: the word alone would then stop
    // nothing. The worker's own stop flag always reaches it.
    if (m_searchThreadId != 0 && WorkerThread::AskToStop(m_searchThreadId))
        WorkerThread::PostQuit(m_searchThreadId, CodeOf(WorkerQuitCode::StopRequested));
}

void SearchSession::OnTimer(SessionTimer timer)
{
    if (timer == SessionTimer::Close && WordIs(SS_IDLE)) {
        // The third tick that finds the word idle ends the program.
        if (m_closeTicks++ > 1)
            PostQuit(ExitCode::ClosedAfterSearch);
    }
    if (timer == SessionTimer::Watch && WordIs(SS_IDLE)) {
        m_watchTimer.stop();
        WorkerThread::PostQuit(m_searchThreadId, CodeOf(WorkerQuitCode::SearchFinished));
    }
}

void SearchSession::Close()
{
    // Stopping: asks the running search to stop and waits on TIMER_CLOSE.
    // Idle: lets go of the state block and quits as Escape does, unless a
    // search started meanwhile (another instance's), which is then stopped
    // and waited for in turn.
    for (;;) {
        RequestStop();
        if (!WordIs(SS_IDLE)) {
            m_closeTimer.start();
            return;
        }
        m_closeTimer.stop();
        // Safe to reach twice: a second close finds the handle closed and
        // leaves whatever now has its number alone.
        m_block.CloseHandle();
        if (WordIs(SS_IDLE)) {
            PostQuit(ExitCode::ClosedIdle);
            return;
        }
    }
}

void SearchSession::Cancel()
{
    if (WordIs(SS_IDLE))
        PostQuit(ExitCode::ClosedIdle);
    else
        Close();
}

void SearchSession::PostQuit(ExitCode code)
{
    if (!m_postedExit)
        m_postedExit = code;
    emit QuitPosted(CodeOf(*m_postedExit));
}

void SearchSession::SearchGivenBack()
{
    emit SearchEnded();
    m_bSearchGivenBack = true;
}

void SearchSession::EndWorkers()
{
    m_closeTimer.stop();
    m_watchTimer.stop();
    // A worker still scanning (the word can read idle through another
    // instance) unwinds at once on its own stop flag, which ending it sets;
    // the shared word is left alone.
    WorkerThread::EndAndJoin(m_startedThreads, CodeOf(WorkerQuitCode::SearchFinished));
    m_startedThreads.clear();
}

}  // namespace tamboro
