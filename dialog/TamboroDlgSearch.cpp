// Search control and closing: starting a search, asking it to stop, seeing
// it end, and closing the window, which waits for a running search to
// unwind. Also the calls a worker makes into the window.
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <iterator>

#include "dialog/MessageBox.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "platform/TextDecoder.h"

namespace tamboro {

bool CTamboroDlg::StateIs(int32_t state) const
{
    // Before the block exists nothing can run.
    const int32_t current = m_pSharedState.IsValid() ? m_pSharedState.Load() : int32_t(SS_IDLE);
    return current == state;
}

void CTamboroDlg::OnButtonSearch()
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
        return;
    // Pressed after the last search ended but before the watch timer told
    // its worker so: tell it now, or it would wait until the program ends.
    if (lastPhase == WorkerThread::Phase::Waiting)
        WorkerThread::PostQuit(m_searchThreadId, kQuitSearchFinished);
    std::erase_if(m_startedThreads,
                  [](WorkerThread::Id id) { return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended; });

    ShowPendingResults();
    m_model->Clear();
    UpdateRowLimitNote();
    const std::string root = PathBytes();
    ResetHeaderLabels();
    m_nSortMode = 0;

    auto* search = new CBmsSearch(*this, root, m_hSharedMap);
    search->SetAutoDelete(true);
    if (m_workerStartHook)
        search->SetStartHook(m_workerStartHook);
    search->SetHandOverPeriod(m_workerHandOverPeriod);
    search->SetChartTypes(SearchChartTypes());
    if (m_workerStackSize != 0)
        search->setStackSize(m_workerStackSize);
    m_searchThreadId = search->ThreadId();
    m_bSearchGivenBack = false;
    if (!search->Start()) {
        // No thread: nothing to report or watch, the buttons stay as they
        // are, and the next press starts a new search.
        KillTimer(TIMER_WATCH);
        return;
    }
    m_startedThreads.push_back(m_searchThreadId);

    SetTimer(TIMER_WATCH, kTimerPeriodMs);
}

void CTamboroDlg::OnButtonStop()
{
    RequestStop();
    StopOwnSearch();
}

void CTamboroDlg::RequestStop()
{
    // One step from running to stopping: a worker that goes idle at the
    // same moment can never leave the word stuck at SS_STOP. It stops the
    // search that runs in the session, this window's or another's.
    if (!m_pSharedState.IsValid() || !m_pSharedState.CompareExchange(SS_RUNNING, SS_STOP))
        return;
    // By thread id: the worker object may already be gone, and a window
    // that never started a worker (another instance was running) posts
    // nothing.
    if (m_searchThreadId != 0)
        WorkerThread::PostQuit(m_searchThreadId, kQuitStopRequested);
}

void CTamboroDlg::StopOwnSearch()
{
    // The word reads idle while this window's scan still runs once another
    // window's search ended and wrote it: the word alone would then stop
    // nothing. The worker's own stop flag always reaches it.
    if (m_searchThreadId != 0 && WorkerThread::AskToStop(m_searchThreadId))
        WorkerThread::PostQuit(m_searchThreadId, kQuitStopRequested);
}

void CTamboroDlg::OnTimer(int nIDEvent)
{
    if (nIDEvent == TIMER_CLOSE && StateIs(SS_IDLE)) {
        // The third tick that finds the word idle ends the program.
        if (s_nCloseTicks++ > 1)
            PostQuit(kExitClosedAfterSearch);
    }
    if (nIDEvent == TIMER_WATCH && StateIs(SS_IDLE)) {
        KillTimer(TIMER_WATCH);
        WorkerThread::PostQuit(m_searchThreadId, kQuitSearchFinished);
    }
}

void CTamboroDlg::OnClose()
{
    RequestStop();
    if (StateIs(SS_IDLE)) {
        KillTimer(TIMER_CLOSE);
        // Safe to reach twice: a second close finds the handle closed and
        // leaves whatever now has its number alone.
        m_hSharedMap.CloseHandle();
        OnCancel();
        return;
    }
    SetTimer(TIMER_CLOSE, kTimerPeriodMs);
}

void CTamboroDlg::OnCancel()
{
    if (StateIs(SS_IDLE))
        PostQuit(kExitClosedIdle);
    else
        OnClose();
}

void CTamboroDlg::EnableSearchButton(bool enable)
{
    // Search comes back when the scan is over: show all it found first.
    if (enable) {
        ShowPendingResults();
        m_bSearchGivenBack = true;
    }
    m_btnSearch->setEnabled(enable);
}

void CTamboroDlg::EnableStopButton(bool enable)
{
    m_btnStop->setEnabled(enable);
}

// A scan hands over finished folders many times a second. Showing each
// batch at once would repaint the list and the caption every time and make
// the scan wait for those paints; the window collects them instead and
// shows them together a few times a second.
void CTamboroDlg::AddRows(std::vector<ChartRow>& rows)
{
    const int count = static_cast<int>(rows.size());
    if (m_pendingRows.empty())
        m_pendingRows = std::move(rows);
    else
        std::move(rows.begin(), rows.end(), std::back_inserter(m_pendingRows));
    rows.clear();
    if (!m_showTimer->isActive())
        m_showTimer->start();
    emit RowsHandedOver(count);
}

void CTamboroDlg::SetTitleBytes(const std::string& title)
{
    m_pendingTitle = title;
    m_bTitlePending = true;
    if (!m_showTimer->isActive())
        m_showTimer->start();
}

void CTamboroDlg::ShowPendingResults()
{
    m_showTimer->stop();
    if (!m_pendingRows.empty())
        m_model->AppendRows(m_pendingRows);  // whole folders, in the order found
    m_pendingRows.clear();
    UpdateRowLimitNote();
    if (m_bTitlePending) {
        // The folder is shown decoded, one path component at a time; the
        // rest of the title is ASCII and reads the same in every charset.
        setWindowTitle(QString::fromStdU16String(DecodePathToUtf16(m_pendingTitle)));
        m_bTitlePending = false;
    }
}

void CTamboroDlg::UpdateRowLimitNote()
{
    const int listed = m_model->RowCountTotal();
    const bool reached = listed >= CBmsSearch::kRowLimit;
    if (reached) {
        // The folder that reached the limit is listed whole, so more rows
        // than the limit can stand in the list.
        const QLocale numbers(QLocale::Japanese, QLocale::Japan);
        m_rowLimitNote->setText(
            QStringLiteral("一覧は %1 件で打ち切りました (上限 %2 件)。すべての譜面は tamboro-scan で一覧できます。")
                .arg(numbers.toString(listed), numbers.toString(CBmsSearch::kRowLimit)));
    }
    if (reached == !m_rowLimitNote->isHidden())
        return;
    m_rowLimitNote->setVisible(reached);
    OnSize(SIZE_RESTORED, width(), height());
}

void CTamboroDlg::ShowStateBlockError(const char* message)
{
    ShowMessageBox(this, QString::fromUtf8(kMsgCaptionError), QString::fromUtf8(message));
}

}  // namespace tamboro
