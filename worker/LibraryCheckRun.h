// One library check on a thread of its own, for the window: the problems
// found wait here until the window takes them, so the check never waits for
// the window.
#pragma once

#include <QObject>
#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "check/CheckProblem.h"
#include "search/ChartTypes.h"

namespace tamboro {

class LibraryCheckRun : public QObject {
    Q_OBJECT
public:
    // Starts checking `root` at once.
    LibraryCheckRun(std::string root, ChartTypes types, QObject* parent = nullptr);
    // Stops the check and waits for its thread.
    ~LibraryCheckRun() override;

    // Asks the check to stop; Finished follows.
    void Stop() { m_stop.store(true); }

    // The problems found since the last call, in the check's order.
    std::vector<CheckProblem> TakeProblems();
    // The folder being checked last (raw bytes), for progress.
    std::string CurrentFolder();
    bool IsRunning() const { return m_running.load(); }

signals:
    // On the thread that made the run: the check ended with `error` (0, or
    // the errno that made the root unreadable), or was stopped.
    void Finished(int error, bool stopped);

private:
    class Sink;
    void Run(const std::string& root, const ChartTypes& types);

    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{true};
    std::mutex m_mutex;
    std::vector<CheckProblem> m_problems;
    std::string m_folder;
    std::thread m_thread;
};

}  // namespace tamboro
