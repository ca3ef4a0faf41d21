// What only the program's tests and tools reach in the main window: its
// controls and parts, its handlers called directly, hooks into how it starts
// workers and takes drops, and what it posted.
#pragma once

#include <QLineEdit>
#include <QPushButton>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>

#include "dialog/DifficultyTables.h"
#include "dialog/FindBar.h"
#include "dialog/ListActions.h"
#include "dialog/PathBox.h"
#include "dialog/PendingResults.h"
#include "dialog/ResultListView.h"
#include "dialog/RowFinder.h"
#include "dialog/RowLimitNote.h"
#include "dialog/SearchSession.h"
#include "dialog/TamboroDlg.h"
#include "dialog/WindowLayout.h"

namespace tamboro {

class CTamboroDlgTesting {
public:
    // Controls, models and parts.
    static QLineEdit* PathEdit(const CTamboroDlg& dlg) { return dlg.m_editPath; }
    static ResultListView* List(const CTamboroDlg& dlg) { return dlg.m_list; }
    static QPushButton* SearchButton(const CTamboroDlg& dlg) { return dlg.m_btnSearch; }
    static QPushButton* StopButton(const CTamboroDlg& dlg) { return dlg.m_btnStop; }
    static ResultModel* Model(const CTamboroDlg& dlg) { return dlg.m_model; }
    static RowFilterModel* Filter(const CTamboroDlg& dlg) { return dlg.m_filter; }
    static FindBar* FindBarWidget(const CTamboroDlg& dlg) { return &dlg.m_finder->Bar(); }
    static RowLimitNote* RowLimitNoteOf(const CTamboroDlg& dlg) { return dlg.m_rowLimitNote; }
    static PendingResults* Pending(const CTamboroDlg& dlg) { return dlg.m_pending; }
    static SearchSession* Session(const CTamboroDlg& dlg) { return dlg.m_session; }
    static DifficultyTables* Tables(const CTamboroDlg& dlg) { return dlg.m_tables; }
    // The layout's placing of one control, and its control by id.
    static void Place(const CTamboroDlg& dlg, const WindowLayout::ClientRect& rc,
                      const WindowLayout::Placement& placement)
    {
        dlg.m_layout->Place(rc, placement);
    }
    static QWidget* LayoutControl(const CTamboroDlg& dlg, int id) { return dlg.m_layout->Control(id); }

    // State.
    static StateWord SharedState(const CTamboroDlg& dlg) { return dlg.m_pSharedState; }
    static std::optional<ListColumn> SortColumnOf(const CTamboroDlg& dlg) { return dlg.m_nSortColumn; }
    static SortMode SortModeOf(const CTamboroDlg& dlg) { return dlg.m_nSortMode; }
    static const std::array<QString, kAllColumnCount>& ColumnTitles(const CTamboroDlg& dlg)
    {
        return dlg.m_strColumnTitle;
    }
    // The path a search of the path box's current text would scan, as bytes.
    static std::string PathBytes(const CTamboroDlg& dlg) { return dlg.m_pathBox->PathBytes(); }
    // Whether searches list every chart type (the context menu's switch).
    static bool AllChartTypes(const CTamboroDlg& dlg) { return dlg.m_listActions->m_bAllChartTypes; }
    // Whether the window still holds its handle on the state block.
    static bool HasSharedHandle(const CTamboroDlg& dlg) { return dlg.m_hSharedMap.HasHandle(); }

    // The window's handlers, called as their events would.
    static bool OnInitDialog(CTamboroDlg& dlg) { return dlg.OnInitDialog(); }
    static void OnButtonSearch(CTamboroDlg& dlg) { dlg.OnButtonSearch(); }
    static void OnButtonStop(CTamboroDlg& dlg) { dlg.OnButtonStop(); }
    static void OnTimer(CTamboroDlg& dlg, int nIDEvent) { dlg.OnTimer(nIDEvent); }
    static void OnClose(CTamboroDlg& dlg) { dlg.OnClose(); }
    static void OnColumnClickList(CTamboroDlg& dlg, int column) { dlg.OnColumnClickList(column); }
    static QIcon OnQueryDragIcon(const CTamboroDlg& dlg) { return dlg.OnQueryDragIcon(); }
    // Shows at once what the workers handed over.
    static void ShowPendingResults(CTamboroDlg& dlg) { dlg.m_pending->Show(); }

    // Runs in each new worker's thread before it opens the state block.
    static void SetWorkerStartHook(CTamboroDlg& dlg, std::function<void()> hook)
    {
        dlg.m_session->m_workerSettings.startHook = std::move(hook);
    }
    // The stack size of new workers' threads in bytes; 0 for the default.
    static void SetWorkerStackSize(CTamboroDlg& dlg, unsigned bytes)
    {
        dlg.m_session->m_workerSettings.stackSize = bytes;
    }
    // How long new workers collect finished folders before handing them over.
    static void SetWorkerHandOverPeriod(CTamboroDlg& dlg, std::chrono::milliseconds period)
    {
        dlg.m_session->m_workerSettings.handOverPeriod = period;
    }
    // What the drop handler gets when it asks for a buffer; none for the
    // window's own.
    static void SetDropBufferAllocator(CTamboroDlg& dlg, DropBufferAllocator allocator)
    {
        dlg.m_dropAllocator = allocator ? std::move(allocator) : DropBufferAllocator(AllocateZeroed);
    }
    // The exit code of the quit posted to the window's loop, if one was.
    static std::optional<int> PostedQuitCode(const CTamboroDlg& dlg)
    {
        const std::optional<ExitCode> posted = dlg.m_session->PostedExit();
        if (!posted)
            return std::nullopt;
        return CodeOf(*posted);
    }
    // Whether the window's timer TIMER_CLOSE or TIMER_WATCH is running.
    static bool IsTimerRunning(const CTamboroDlg& dlg, int nIDEvent)
    {
        return dlg.m_session->IsTimerRunning(static_cast<SessionTimer>(nIDEvent));
    }
    // The thread of the worker started last (0 before any).
    static WorkerThread::Id LastSearchThreadId(const CTamboroDlg& dlg) { return dlg.m_session->m_searchThreadId; }
};

}  // namespace tamboro
