// One search on a thread of its own: marks the shared state word running,
// swaps which button is enabled, scans the tree, swaps the buttons back,
// marks the word idle, and then waits for the window to tell its thread to
// end (quit 13 after a stop request, 14 once the window saw the search end).
#pragma once

#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "search/ChartRow.h"
#include "search/ChartTypes.h"
#include "search/SearchState.h"
#include "worker/SearchChoices.h"
#include "worker/WorkerThread.h"

namespace tamboro {

class SqliteChartIndex;

// The window as a search sees it. The worker makes every call on the thread
// of Context() (the window's thread), one at a time, and waits for each.
class SearchWindow {
public:
    virtual ~SearchWindow() = default;
    // The object whose thread owns the window.
    virtual QObject* Context() = 0;
    virtual void EnableSearchButton(bool enable) = 0;
    virtual void EnableStopButton(bool enable) = 0;
    // The charts of one or more whole folders, in the order found; may be
    // moved. Comes in the same call as the title of the last of them, right
    // before it.
    virtual void AddRows(std::vector<ChartRow>& rows) = 0;
    // The progress title after each folder, "Tamboro - <count> [<folder>]"
    // as raw bytes.
    virtual void SetTitleBytes(const std::string& title) = 0;
    // A failure to reach the state block: a message box owned by the window,
    // caption "Error", OK button only.
    virtual void ShowStateBlockError(const char* message) = 0;
    // The scan ran out of open files and ended before the whole tree was
    // listed: the rows handed over are not all (comes after the last of them).
    virtual void ScanCutShort() = 0;
};

class CBmsSearch : public WorkerThread {
    Q_OBJECT
public:
    // Charts of folders scanned after this many rows exist are not listed.
    static constexpr int64_t kRowLimit = 65536;

    // `owner` must outlive the thread. The root path is copied. Made on the
    // window's thread: the worker takes a handle of its own on the window's
    // state block `block` here, and maps its view of it on its own thread.
    CBmsSearch(SearchWindow& owner, std::string root, const SharedStateBlock& block);
    ~CBmsSearch() override;

    // Folders finished within this long of the last call to the window go
    // over together in the next call. Zero: one call per folder.
    static constexpr std::chrono::milliseconds kHandOverPeriod{40};
    void SetHandOverPeriod(std::chrono::milliseconds period) { m_handOverPeriod = period; }

    // Which names are charts (default: "bms") and whether digests are
    // computed; set before the thread starts. The scan reads charts ahead of
    // the rows with FolderScan's default number of readers.
    void SetChoices(SearchChoices choices) { m_choices = std::move(choices); }

    // Runs first on the new thread, before the state block is mapped (lets a
    // test hold a worker at its start).
    void SetStartHook(std::function<void()> hook) { m_startHook = std::move(hook); }

protected:
    bool InitInstance() override;
    int ExitInstance(int code) override;

private:
    friend class WindowSink;
    // Tests read m_nCount through it.
    friend class BmsSearchTesting;
    // The root's index in the user's cache folder; null when it cannot be
    // made or opened.
    std::unique_ptr<SqliteChartIndex> OpenIndex() const;
    // Runs `call` on the window's thread and waits for it.
    void CallWindow(const std::function<void()>& call);

    int32_t m_nCount = 0;  // rows this worker has added, once its scan is over
    SearchWindow* m_pOwner;
    const std::string m_strRoot;
    SharedStateBlock m_block;
    std::function<void()> m_startHook;
    std::chrono::milliseconds m_handOverPeriod = kHandOverPeriod;
    SearchChoices m_choices;
};

}  // namespace tamboro
