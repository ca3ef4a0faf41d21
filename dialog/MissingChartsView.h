// The charts of one difficulty table that the library lacks (未所持の譜面),
// in a window of its own: the searched root is scanned with digests on a
// thread of its own, with progress and Stop, then the table's entries no
// chart matches are listed in the table's order. They sort by any column
// (levels in the table's level order); a double-click opens the entry's page
// (its url, else its url_diff) in the browser, the context menu opens either
// page or copies, and Ctrl+C copies the lines tamboro-scan --missing prints.
#pragma once

#include <QDialog>
#include <QPersistentModelIndex>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "search/ChartTypes.h"
#include "tables/DifficultyTable.h"

class QAction;
class QLabel;
class QPoint;
class QPushButton;
class QTableView;

namespace tamboro {

class MissingChartsModel;
class MissingChartsRun;

class MissingChartsView : public QDialog {
    Q_OBJECT
public:
    // Starts scanning `root` (its bytes) at once, through the root's index
    // when the player keeps indexes. The view deletes itself when closed.
    MissingChartsView(QWidget* parent, DifficultyTable table, std::string root, ChartTypes types);
    ~MissingChartsView() override;

    // Makes a view, shows it and gives it the keyboard.
    static MissingChartsView* Open(QWidget* parent, DifficultyTable table, std::string root, ChartTypes types);

private:
    // Every period while the scan runs: its progress, or what it found.
    void ShowProgress();
    void ShowResult();
    void FitColumns();
    // Opens one page of the entry in the browser (`page`: its url or its
    // url_diff); says in the status line when the address is no web page's.
    void OpenPage(const std::string& page);
    void OnContextMenu(const QPoint& pos);
    void CopySelected();

    const std::string m_tableName;
    const std::size_t m_tableSize;
    MissingChartsModel* m_model = nullptr;
    QTableView* m_view = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_btnStop = nullptr;
    QAction* m_actOpenPage = nullptr;
    QAction* m_actOpenDiffPage = nullptr;
    QAction* m_actCopy = nullptr;
    QPersistentModelIndex m_menuIndex;  // the row the context menu is for
    std::unique_ptr<MissingChartsRun> m_run;
    QTimer m_progressTimer;
};

}  // namespace tamboro
