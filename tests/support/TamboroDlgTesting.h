// What only the program's tests and tools reach in the main window: hooks
// into how it starts workers and takes drops, and what it posted.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <utility>

#include "dialog/TamboroDlg.h"

namespace tamboro {

class CTamboroDlgTesting {
public:
    // Runs in each new worker's thread before it opens the state block.
    static void SetWorkerStartHook(CTamboroDlg& dlg, std::function<void()> hook)
    {
        dlg.m_workerStartHook = std::move(hook);
    }
    // The stack size of new workers' threads in bytes; 0 for the default.
    static void SetWorkerStackSize(CTamboroDlg& dlg, unsigned bytes) { dlg.m_workerStackSize = bytes; }
    // How long new workers collect finished folders before handing them over.
    static void SetWorkerHandOverPeriod(CTamboroDlg& dlg, std::chrono::milliseconds period)
    {
        dlg.m_workerHandOverPeriod = period;
    }
    // What the drop handler gets when it asks for a buffer.
    static void SetDropBufferAllocator(CTamboroDlg& dlg, CTamboroDlg::DropBufferAllocator allocator)
    {
        dlg.m_dropAllocator = std::move(allocator);
    }
    // The exit code of the quit posted to the window's loop, if one was.
    static std::optional<int> PostedQuitCode(const CTamboroDlg& dlg)
    {
        if (!dlg.m_bQuitPosted)
            return std::nullopt;
        return dlg.m_nQuitCode;
    }
    // Whether the window's timer TIMER_CLOSE or TIMER_WATCH is running.
    static bool IsTimerRunning(const CTamboroDlg& dlg, int nIDEvent) { return dlg.IsTimerRunning(nIDEvent); }
    // Whether the window still holds its handle on the state block.
    static bool HasSharedHandle(const CTamboroDlg& dlg) { return dlg.m_hSharedMap.HasHandle(); }
    // The thread of the worker started last (0 before any).
    static WorkerThread::Id LastSearchThreadId(const CTamboroDlg& dlg) { return dlg.m_searchThreadId; }
};

}  // namespace tamboro
