// The library check's window: the check of the searched root runs on a
// thread of its own while its problems come in, with progress and Stop; the
// problems sort by any column (grouped by kind at first), folders are cut
// in the middle as in the main list (FolderColumnDelegate, the full path as
// the tooltip), a double-click opens the folder, Ctrl+C copies the lines
// tamboro-scan --check prints, and the charts they name can be selected in
// the main list.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>
#include <utility>
#include <vector>

#include "search/ChartTypes.h"

class QLabel;
class QPushButton;
class QTableView;

namespace tamboro {

class CheckProblemModel;
class LibraryCheckRun;

class CheckView : public QDialog {
    Q_OBJECT
public:
    // Starts checking `root` at once. The view deletes itself when closed.
    CheckView(QWidget* parent, std::string root, ChartTypes types);
    ~CheckView() override;

signals:
    // The charts (folder, file) of the selected problems, to select in the
    // main list.
    void SelectInList(const std::vector<std::pair<std::string, std::string>>& charts);

private:
    void TakeProblems();
    void OnFinished(int error, bool stopped);
    void CopySelected();
    void SelectChartsInList();

    std::string m_root;
    CheckProblemModel* m_model = nullptr;
    QTableView* m_view = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_btnStop = nullptr;
    LibraryCheckRun* m_run = nullptr;
    QTimer m_takeTimer;
};

}  // namespace tamboro
