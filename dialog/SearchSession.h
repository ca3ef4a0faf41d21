// The window's side of searches and of closing: it starts a worker per
// search, asks searches to stop, watches the shared state word with two
// 200 ms timers (TIMER_WATCH ends a finished search's worker, TIMER_CLOSE
// waits for a stopped search to unwind before the program ends), posts the
// window's exit code, and ends every worker it started.
//
// Everything else in the window learns about searches from two signals,
// SearchStarting and SearchEnded, and never reaches into the session: a new
// view joins the window by connecting to them.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "dialog/QuitCodes.h"
#include "search/SearchState.h"
#include "worker/BmsSearch.h"
#include "worker/SearchChoices.h"
#include "worker/WorkerThread.h"

namespace tamboro {

// The session's two timers, by the window's timer ids.
enum class SessionTimer : int { Close = 1, Watch = 2 };

class SearchSession : public QObject {
    Q_OBJECT
public:
    static constexpr int kTimerPeriodMs = 200;

    // `window` receives the workers' calls; `block` and `word` are the
    // window's handle on the state block and its view of the word (the word
    // may be set up later; until then nothing can run). All must outlive
    // the session.
    SearchSession(SearchWindow& window, SharedStateBlock& block, const StateWord& word, QObject* parent = nullptr);
    ~SearchSession() override;

    // Starts a search of `root` as the player chose, unless the last search is
    // still starting or scanning. Emits SearchStarting before the worker is
    // made.
    void Start(const std::string& root, const SearchChoices& choices);
    // Asks the search that runs in the session (this window's or another
    // instance's) to stop through the shared word, and this window's worker
    // with quit code 13.
    void RequestStop();
    // Asks this window's own search to stop through its worker's own stop
    // flag, whatever the shared word reads.
    void StopOwnSearch();
    // A tick of one of the session's timers (see TimerFired).
    void OnTimer(SessionTimer timer);
    // The window's close (title bar, Alt+F4) and cancel (Escape).
    void Close();
    void Cancel();
    // Ends the window's loop with `code` once control returns to it; the
    // first code posted wins.
    void PostQuit(ExitCode code);
    std::optional<ExitCode> PostedExit() const { return m_postedExit; }
    // The worker gave Search back: its scan is over.
    void SearchGivenBack();
    // Ends every worker thread still alive, serving their calls meanwhile.
    void EndWorkers();

signals:
    // A search is about to start: views drop what the last one showed.
    void SearchStarting();
    // The scan is over (finished or stopped): views show all it found.
    void SearchEnded();
    // One of the timers ticked; the window routes it back to OnTimer.
    void TimerFired(int timerId);
    // The window's loop should end with this exit code.
    void QuitPosted(int exitCode);

private:
    friend class CTamboroDlgTesting;

    // Settings of the workers this session starts, for tests and tools.
    struct WorkerSettings {
        std::function<void()> startHook;  // runs first in each new worker's thread
        std::chrono::milliseconds handOverPeriod = CBmsSearch::kHandOverPeriod;
        unsigned stackSize = 0;  // bytes; 0 for the default
    };

    bool WordIs(int32_t state) const;
    // Whether a press of Search may start a new search now; tells a worker
    // whose end the watch timer has not seen yet that its search is over.
    bool MayStartSearch();
    QTimer& TimerOf(SessionTimer timer);
    bool IsTimerRunning(SessionTimer timer) const;

    SearchWindow& m_window;
    SharedStateBlock& m_block;
    const StateWord& m_word;
    WorkerSettings m_workerSettings;
    WorkerThread::Id m_searchThreadId = 0;  // the worker started last, for posting quits
    bool m_bSearchGivenBack = false;        // its scan is over and Search enabled again
    std::vector<WorkerThread::Id> m_startedThreads;
    QTimer m_closeTimer;
    QTimer m_watchTimer;
    int m_closeTicks = 0;  // TIMER_CLOSE ticks that found the word idle
    std::optional<ExitCode> m_postedExit;
};

}  // namespace tamboro
