// The main window: a path box, the result list and the Search and Stop
// buttons. It holds the controls and the state block, routes the window's
// events to its handlers, and leaves each job to a part of its own:
//   SearchSession    starting and stopping searches, the watch and close
//                    timers, the close sequence and its exit codes (0, 3,
//                    4), ending the workers; tells the other parts when a
//                    search starts and ends
//   PendingResults   rows and the title handed over but not shown yet, and
//                    the row-limit note (RowLimitNote)
//   WindowLayout     the template's offsets, the bands above the bottom
//                    strip, the minimum size, the Tab order
//   PathBox          the bytes the path box names, "~", pasting copied
//                    paths, folder completion
//   ListActions      opening and copying rows, the list's context menu,
//                    chart types
//   ColumnSettings   the header's context menu (relative folders), the
//                    columns' remembered widths and order
//   RowFinder        the find bar over the list
//   DifficultyTables the tables read, their manager and the table column
// A new view joins the window by connecting to the session's SearchStarting
// and SearchEnded, never by reaching into the session.
//
// The window's own handlers are split by concern:
//   TamboroDlg.cpp         construction, set-up, the run, event routing
//   TamboroDlgSearch.cpp   search control and closing, the worker's calls
//   TamboroDlgColumns.cpp  the list's columns, header labels, column sorting
//   TamboroDlgLayout.cpp   layout on resize, the minimised window's icon
//   TamboroDlgDrop.cpp     folder drop
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dialog/DroppedPaths.h"
#include "results/ListColumn.h"
#include "results/RowSorter.h"
#include "search/SearchState.h"
#include "worker/BmsSearch.h"

class QLineEdit;
class QMimeData;
class QPushButton;

namespace tamboro {

class ColumnSettings;
class DifficultyTables;
class DigestColumns;
class ListActions;
class PathBox;
class PendingResults;
class ResultListView;
class ResultModel;
class RowFilterModel;
class RowFinder;
class RowLimitNote;
class SearchSession;
class WindowLayout;

class CTamboroDlg : public QDialog, public SearchWindow {
    Q_OBJECT
public:
    // Timer ids; both tick every 200 ms.
    static constexpr int TIMER_CLOSE = 1;
    static constexpr int TIMER_WATCH = 2;

    // wParam-like size types of OnSize.
    static constexpr int SIZE_RESTORED = 0;
    static constexpr int SIZE_MINIMIZED = 1;

    explicit CTamboroDlg(QWidget* pParent = nullptr);
    ~CTamboroDlg() override;

    // Sets the window up (OnInitDialog), shows it and runs until a quit is
    // posted, and returns the program's exit code once every worker thread
    // has ended. The window is not modal.
    int DoModal();

    // SearchWindow: the worker's calls, run on this window's thread.
    QObject* Context() override { return this; }
    void EnableSearchButton(bool enable) override;
    void EnableStopButton(bool enable) override;
    void AddRows(std::vector<ChartRow>& rows) override;
    void SetTitleBytes(const std::string& title) override;
    void ShowStateBlockError(const char* message) override;
    void ScanCutShort() override;

public slots:
    void reject() override;  // Escape and the cancel command

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Drags over the path box and the list go to the window's own handlers.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Test hooks and state, for the program's own tests and tools only.
    friend class CTamboroDlgTesting;

    // Sets the window's icon, creates the state block and marks it idle.
    // On failure shows the message and posts the quit with exit code 0.
    bool OnInitDialog();
    void CreateControls();
    void ConnectParts();
    // Shows the window and runs its event loop until done(); returns its code.
    int RunWindow();

    // Search control and closing (SearchSession does the work).
    void OnButtonSearch();
    void OnButtonStop();
    // Asks a running search to stop through the shared word.
    void RequestStop();
    void OnTimer(int nIDEvent);
    void OnClose();
    void OnCancel();

    // Columns and sorting.
    void OnShowWindow(bool bShow, int nStatus);
    void CreateColumns();
    void ResetHeaderLabels();
    void OnColumnClickList(int column);

    // Layout (WindowLayout does the work) and the minimised window.
    void OnSize(int nType, int cx, int cy);
    void OnPaint(QPaintEvent* event);
    QIcon OnQueryDragIcon() const { return m_hIcon; }

    // Folder drop.
    void OnDropFiles(const QMimeData* drop);

    SortMode m_nSortMode = kSortFound;
    std::optional<ListColumn> m_nSortColumn;  // none before the first sort
    std::array<QString, kAllColumnCount> m_strColumnTitle;
    SharedStateBlock m_hSharedMap;  // the window's handle and view of the block
    StateWord m_pSharedState;
    QPushButton* m_btnSearch = nullptr;
    QPushButton* m_btnStop = nullptr;
    QLineEdit* m_editPath = nullptr;
    ResultListView* m_list = nullptr;
    QIcon m_hIcon;

    ResultModel* m_model = nullptr;
    RowFilterModel* m_filter = nullptr;  // what the list shows, over m_model
    bool m_bColumnsCreated = false;
    DropBufferAllocator m_dropAllocator = AllocateZeroed;

    SearchSession* m_session = nullptr;
    RowLimitNote* m_rowLimitNote = nullptr;
    PendingResults* m_pending = nullptr;
    RowFinder* m_finder = nullptr;
    ListActions* m_listActions = nullptr;
    ColumnSettings* m_columnSettings = nullptr;
    DigestColumns* m_digests = nullptr;
    DifficultyTables* m_tables = nullptr;
    PathBox* m_pathBox = nullptr;
    std::unique_ptr<WindowLayout> m_layout;
};

}  // namespace tamboro
