// Writing rows of the list as a difficulty table of the player's own: one
// dialog asks the table's name, its symbol and the level of its entries,
// then a folder is chosen; rows listed without digests are hashed first (on
// threads, behind a progress dialog that can be cancelled), and the folder
// gets header.json and data.json, one entry per row (title and artist as
// the list shows them), which the table reader reads back.
#pragma once

#include <QDialog>
#include <QModelIndexList>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "tables/DifficultyTable.h"

class QLineEdit;
class QPushButton;

namespace tamboro {

class ResultModel;
class RowFilterModel;

class ExportTableDialog : public QDialog {
    Q_OBJECT
public:
    // One row to write: its file, and what its entry holds.
    struct Chart {
        std::string path;  // folder and file name, bytes as found
        TableEntry entry;  // title, artist and digests (empty when not computed)
    };

    // Exports the rows of `indexes` (indexes of `filter`, shown over
    // `model`) in the order shown; `window` owns the dialogs and message
    // boxes.
    static void ExportRows(QWidget& window, const ResultModel& model, const RowFilterModel& filter,
                           const QModelIndexList& indexes);
    static void ExportCharts(QWidget& window, std::vector<Chart> charts);

    // Asks for the folder to write to (bytes; empty: cancelled). By default
    // a folder dialog; tests put their own, so that no native dialog waits.
    using FolderChooser = std::function<std::string(QWidget& window)>;
    static void SetFolderChooser(FolderChooser chooser);

    explicit ExportTableDialog(QWidget& parent);
    std::string Name() const;
    std::string Symbol() const;
    std::string Level() const;

private:
    void EnableOk();

    QLineEdit* m_name = nullptr;
    QLineEdit* m_symbol = nullptr;
    QLineEdit* m_level = nullptr;
    QPushButton* m_ok = nullptr;
};

}  // namespace tamboro
