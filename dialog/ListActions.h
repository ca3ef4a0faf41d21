// Acting on the listed charts: a double-click opens the row's folder in the
// file manager; the list's context menu opens it, copies its path, copies
// the selected rows (Ctrl+C, the columns shown) or selects them all
// (Ctrl+A), writes the selected rows as a difficulty table, reads the row's
// folder again, chooses whether searches list every chart type (remembered
// between runs), checks the searched library, and opens the difficulty
// tables' manager.
#pragma once

#include <QObject>
#include <QPersistentModelIndex>
#include <string>
#include <utility>
#include <vector>

#include "search/ChartTypes.h"

class QAction;
class QPoint;
class QWidget;

namespace tamboro {

class ResultListView;
class ResultModel;
class RowFilterModel;

class ListActions : public QObject {
    Q_OBJECT
public:
    // Acts on `list`, which shows `filter` over `model`; `window` owns the
    // menus and message boxes.
    ListActions(QWidget& window, ResultListView& list, ResultModel& model, RowFilterModel& filter);

    // The chart types the next search lists.
    ChartTypes SearchChartTypes() const;
    // The root of the last search, as its bytes; empty before the first.
    const std::string& SearchedRoot() const;
    // Selects the shown rows of these charts (folder, file) in the list.
    void SelectCharts(const std::vector<std::pair<std::string, std::string>>& charts);

signals:
    // The menu's `難易度表…`: the tables' manager is wanted.
    void TablesAsked();

private:
    friend class CTamboroDlgTesting;

    // Acting on shown rows (by their row in the list as shown).
    void OpenFolderOfRow(int shownRow);
    void CopyFolderPathOfRow(int shownRow);
    // Reads the row's folder again and puts its charts in place of its rows.
    void ReadFolderOfRowAgain(int shownRow);
    // The selected shown rows, in the order shown, as tamboro-scan's lines.
    void CopySelectedRows();
    void SetAllChartTypes(bool on);
    // Opens the check of the searched root in a window of its own.
    void CheckLibrary();
    // Writes the selected rows as a difficulty table (ExportTableDialog).
    void ExportSelectedRows();
    void OnListContextMenu(const QPoint& pos);

    QWidget& m_window;
    ResultListView& m_list;
    ResultModel& m_model;
    RowFilterModel& m_filter;
    bool m_bAllChartTypes = false;
    QPersistentModelIndex m_menuIndex;  // the row the context menu is for
    QAction* m_actOpenFolder = nullptr;
    QAction* m_actCopyPath = nullptr;
    QAction* m_actReadAgain = nullptr;
    QAction* m_actCopyRows = nullptr;
    QAction* m_actSelectAll = nullptr;
    QAction* m_actExportRows = nullptr;
    QAction* m_actAllChartTypes = nullptr;
    QAction* m_actCheckLibrary = nullptr;
    QAction* m_actTables = nullptr;
};

}  // namespace tamboro
