// The main window: a path box, the result list and the Search and Stop
// buttons. It starts a worker per search, watches the shared state word with
// two 200 ms timers, stops searches, and ends the program with 3 (closed
// while idle) or 4 (closed after waiting for a search), or 0 when the state
// block cannot be set up.
//
// Handlers are split by concern:
//   TamboroDlg.cpp         construction, set-up, the run, event routing
//   TamboroDlgSearch.cpp   search control and closing, the worker's calls
//   TamboroDlgColumns.cpp  the list's columns, header labels, column sorting
//   TamboroDlgLayout.cpp   layout on resize, the minimised window's icon
//   TamboroDlgDrop.cpp     folder drop
//   TamboroDlgFind.cpp     the find bar over the list
//   TamboroDlgActions.cpp  opening and copying rows, the list's context
//                          menu, chart types
//   TamboroDlgPath.cpp     the path box: the bytes its text names, "~",
//                          pasting copied paths, folder completion
#pragma once

#include <QDialog>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QString>
#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialog/PathText.h"
#include "results/ListColumn.h"
#include "search/ChartTypes.h"
#include "search/SearchState.h"
#include "worker/BmsSearch.h"
#include "worker/WorkerThread.h"

class QAction;
class QLabel;
class QLineEdit;
class QMimeData;
class QPoint;
class QPushButton;
class QTimer;

namespace tamboro {

class FindBar;
class FolderCompletionModel;
class ResultListView;
class ResultModel;
class RowFilterModel;

class CTamboroDlg : public QDialog, public SearchWindow {
    Q_OBJECT
public:
    // Timer ids; both tick every 200 ms.
    static constexpr int TIMER_CLOSE = 1;
    static constexpr int TIMER_WATCH = 2;
    static constexpr int kTimerPeriodMs = 200;

    // Quit codes: to a worker thread, and of the program.
    static constexpr int kQuitStopRequested = 13;
    static constexpr int kQuitSearchFinished = 14;
    static constexpr int kExitSetupFailed = 0;
    static constexpr int kExitClosedIdle = 3;
    static constexpr int kExitClosedAfterSearch = 4;

    // wParam-like size types of OnSize.
    static constexpr int SIZE_RESTORED = 0;
    static constexpr int SIZE_MINIMIZED = 1;

    // Plain column titles and widths in pixels.
    static const std::array<const char*, kColumnCount> kColumnTitles;
    static const std::array<int, kColumnCount> kColumnWidths;

    // TIMER_CLOSE ticks that found the state idle; never reset.
    static int32_t s_nCloseTicks;

    explicit CTamboroDlg(QWidget* pParent = nullptr);
    ~CTamboroDlg() override;

    // Sets the window up (OnInitDialog), shows it and runs until a quit is
    // posted, and returns the program's exit code once every worker thread
    // has ended. The window is not modal.
    int DoModal();
    // Sets the window's icon, creates the state block and marks it idle.
    // On failure shows the message and posts the quit with exit code 0.
    bool OnInitDialog();

    // Search control and closing.
    void OnButtonSearch();
    void OnButtonStop();
    // Asks a running search to stop through the shared word (Stop, close).
    void RequestStop();
    // Asks this window's own search to stop through its worker's own stop
    // flag, whatever the shared word reads (Stop).
    void StopOwnSearch();
    void OnTimer(int nIDEvent);
    void OnClose();
    void OnCancel();

    // Columns and sorting.
    void OnShowWindow(bool bShow, int nStatus);
    void ResetHeaderLabels();
    void OnColumnClickList(int column);

    // Layout and the minimised window.
    void OnSize(int nType, int cx, int cy);
    // A client rectangle in pixels; right and bottom are exclusive.
    struct ClientRect {
        int left = 0;
        int top = 0;
        int right = 0;
        int bottom = 0;
    };
    void PlaceStretched(const ClientRect& rc, int nID, int dx, int dy, int dw, int dh);
    void PlaceAnchored(const ClientRect& rc, int nID, int dx, int dy, int dw, int dh);
    QIcon OnQueryDragIcon() const { return m_hIcon; }

    // Folder drop.
    void OnDropFiles(const QMimeData* drop);
    // What the drop handler can get for a buffer of `wanted` bytes: the block
    // and, in `obtained`, its usable size (0 when none).
    using DropBufferAllocator = std::function<std::unique_ptr<char[]>(std::size_t wanted, std::size_t& obtained)>;

    // The find bar: Ctrl+F opens it below the list and again closes it.
    // While open, the list shows only the rows matching its text; closed, it
    // shows every row.
    void ToggleFindBar();
    void OpenFindBar();
    void CloseFindBar();
    bool IsFindBarOpen() const;

    // Acting on shown rows (by their row in the list as shown).
    void OpenFolderOfRow(int shownRow);
    void CopyFolderPathOfRow(int shownRow);
    // The selected shown rows, in the order shown, as tamboro-scan's lines.
    void CopySelectedRows();
    void SelectAllRows();

    // Whether searches list every chart type, not only .bms (remembered
    // between runs).
    void SetAllChartTypes(bool on);
    bool AllChartTypes() const { return m_bAllChartTypes; }
    // The chart types the next search lists.
    ChartTypes SearchChartTypes() const;

    // Controls and state, for the program's own tests and tools.
    QWidget* GetDlgItem(int nID) const;
    QLineEdit* PathEdit() const { return m_editPath; }
    ResultListView* List() const { return m_list; }
    QPushButton* SearchButton() const { return m_btnSearch; }
    QPushButton* StopButton() const { return m_btnStop; }
    ResultModel* Model() const { return m_model; }
    RowFilterModel* Filter() const { return m_filter; }
    FindBar* FindBarWidget() const { return m_findBar; }
    QLabel* RowLimitNote() const { return m_rowLimitNote; }
    StateWord SharedState() const { return m_pSharedState; }
    int32_t SortColumn() const { return m_nSortColumn; }
    int32_t SortMode() const { return m_nSortMode; }
    const std::array<QString, kColumnCount>& ColumnTitles() const { return m_strColumnTitle; }
    // The path a search of the path box's current text would scan, as bytes.
    std::string PathBytes() const;
    // The bytes a path box text names: a decoded text the window showed
    // (drop, paste, completion) gives the bytes it stands for, a copied
    // form (file:// URL, shell word) its bytes, a leading "~" the home
    // folder; other text is its UTF-8.
    std::string PathBytesOf(const QString& text) const;
    // Ctrl+V and the path box menu's Paste: a path from the clipboard's URL
    // (what the window copies, what file managers copy) or in a copied form
    // replaces the box's text, shown decoded, with its bytes kept; other
    // text is pasted as text.
    void PastePath();

    // Rows and the title a search handed over but the list and the caption
    // do not show yet: they are shown at most every kShowPeriodMs, and at
    // once when the scan ends, a sort begins or a new search starts.
    static constexpr int kShowPeriodMs = 100;
    void ShowPendingResults();

    // SearchWindow: the worker's calls, run on this window's thread.
    QObject* Context() override { return this; }
    void EnableSearchButton(bool enable) override;
    void EnableStopButton(bool enable) override;
    void AddRows(std::vector<ChartRow>& rows) override;
    void SetTitleBytes(const std::string& title) override;
    void ShowStateBlockError(const char* message) override;

signals:
    // A worker handed over the rows of one folder (emitted inside its call,
    // while it waits).
    void RowsHandedOver(int count);

public slots:
    void reject() override;  // Escape and the cancel command

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Drags over the path box and the list go to the window's own handlers.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Test hooks and state, for the program's own tests and tools only.
    friend class CTamboroDlgTesting;

    void CreateControls();
    // Shows the window and runs its event loop until done(); returns its code.
    int RunWindow();
    void CreateColumns();
    // Ends the window's loop with `code` once control returns to it.
    void PostQuit(int code);
    void SetTimer(int nIDEvent, int elapseMs);
    void KillTimer(int nIDEvent);
    bool IsTimerRunning(int nIDEvent) const;
    bool StateIs(int32_t state) const;
    // Ends every worker thread still alive, serving their calls meanwhile.
    void EndWorkers();
    ClientRect GetClientRect() const;
    void SetWindowPos(QWidget* control, int x, int y, int cx, int cy);
    void BringToFrontOfTabOrder(QWidget* control);
    void OnPaint(QPaintEvent* event);
    void SetPathFromBytes(const std::string& bytes);
    // The path box's paste key and context menu; true when handled.
    bool OnPathBoxEvent(QEvent* event);
    void CreateFindBar();
    void CreateListActions();
    void EnablePathCompletion();
    void GoToFirstShownRow();
    void OnListContextMenu(const QPoint& pos);
    // Height the open find bar takes from the list (0 when closed), and its
    // place right below the list.
    int FindBarHeight() const;
    void PlaceFindBar(const ClientRect& rc);
    // The smallest client area the window can be given.
    QSize MinimumClientSize() const;
    // The note that the list stopped at the row limit: shown once a search
    // lists CBmsSearch::kRowLimit rows, hidden when the next one starts. It
    // takes its height (0 while hidden) from the list's bottom.
    void UpdateRowLimitNote();
    int RowLimitNoteHeight() const;

    int32_t m_nSortMode = 0;
    int32_t m_nSortColumn = -1;
    WorkerThread::Id m_searchThreadId = 0;  // the worker started last, for posting quits
    bool m_bSearchGivenBack = false;        // its scan is over and Search enabled again
    std::array<QString, kColumnCount> m_strColumnTitle;
    SharedStateBlock m_hSharedMap;  // the window's handle and view of the block
    StateWord m_pSharedState;
    QPushButton* m_btnSearch = nullptr;
    QPushButton* m_btnStop = nullptr;
    QLineEdit* m_editPath = nullptr;
    ResultListView* m_list = nullptr;
    ResultModel* m_model = nullptr;
    QString m_strPath;
    QIcon m_hIcon;

    bool m_bColumnsCreated = false;
    bool m_bQuitPosted = false;
    int m_nQuitCode = 0;
    std::array<int, 3> m_timerIds{};                 // Qt's timer id by our id (0: stopped)
    std::vector<QWidget*> m_tabOrder;                // front first
    std::vector<WorkerThread::Id> m_startedThreads;  // every worker started here
    KnownPaths m_knownPaths;                         // decoded path texts the window showed, with their bytes
    FolderCompletionModel* m_folderCompletion = nullptr;
    DropBufferAllocator m_dropAllocator;
    std::function<void()> m_workerStartHook;
    std::chrono::milliseconds m_workerHandOverPeriod = CBmsSearch::kHandOverPeriod;
    unsigned m_workerStackSize = 0;
    std::vector<ChartRow> m_pendingRows;
    std::string m_pendingTitle;
    bool m_bTitlePending = false;
    QTimer* m_showTimer = nullptr;

    RowFilterModel* m_filter = nullptr;  // what the list shows, over m_model
    FindBar* m_findBar = nullptr;
    QLabel* m_rowLimitNote = nullptr;
    bool m_bAllChartTypes = false;
    QPersistentModelIndex m_menuIndex;  // the row the context menu is for
    QAction* m_actOpenFolder = nullptr;
    QAction* m_actCopyPath = nullptr;
    QAction* m_actCopyRows = nullptr;
    QAction* m_actSelectAll = nullptr;
    QAction* m_actAllChartTypes = nullptr;
};

}  // namespace tamboro
