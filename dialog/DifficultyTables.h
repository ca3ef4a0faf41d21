// The window's difficulty tables: their sources, remembered in the settings
// file (`tables=`, comma-separated, in the order added), each read in the
// background (worker/TableLoading: at start from its kept copy, when added or
// read again from the network), the table column they fill
// (ResultModel::SetTableCells, offered in the header's menu while there are
// tables), and the manager that lists them (`難易度表…` in the list's menu).
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tables/DifficultyTable.h"
#include "worker/TableLoading.h"
#include "worker/TableMatching.h"

class QWidget;

namespace tamboro {

class ColumnSettings;
class ListActions;
class ResultModel;
class TableManager;

class DifficultyTables : public QObject {
    Q_OBJECT
public:
    enum class State { Reading, Read, KeptCopy, Failed };
    struct Table {
        std::string source;
        State state = State::Reading;
        QString error;  // the last read's failure, "ADDRESS: reason"
    };
    // Asks the player for a table's file; empty when none was chosen.
    using FileChooser = std::function<QString(QWidget* owner)>;

    // Starts reading the remembered tables, each from its kept copy (from
    // the network when it has none).
    DifficultyTables(QWidget& window, ResultModel& model, ColumnSettings& columns, ListActions& actions);
    ~DifficultyTables() override;

    const std::vector<Table>& Tables() const { return m_tables; }
    // What was read of tables[index]; empty until then.
    const DifficultyTable& DataOf(int index) const { return *m_data[static_cast<std::size_t>(index)]; }
    // "読み込み中 2/3: ADDRESS" while reading, else empty.
    const QString& Progress() const { return m_progress; }

    // Adds a table by its http, https or file address or its path, and
    // reads it from the network. False, with nothing added, for an empty
    // source, one holding a comma (the settings' separator) or one listed
    // already.
    bool Add(const QString& source);
    void ReadAgain(int index);
    void Remove(int index);
    // Opens the manager, or brings it to the front.
    void OpenManager();
    FileChooser& ChooseFile() { return m_chooseFile; }

signals:
    // The tables or their states changed.
    void Changed();
    void ProgressChanged(const QString& text);
    // The manager's `未所持の譜面…` for tables[tableIndex].
    void MissingChartsAsked(int tableIndex);

private:
    void Load(const std::string& source, bool fromNetwork);
    void OnReading(int number, int total, const QString& source);
    void OnLoaded(const TableLoading::Outcome& outcome);
    void OnIdle();
    // The missing-charts view of tables[index], for the last search's root.
    void OpenMissingCharts(const ListActions& actions, int index);
    // The match (built on the matcher's thread) and the table column follow
    // the tables read.
    void FillColumn();
    void OnMatched(const std::shared_ptr<const TableMatching::Matched>& matched);
    void SaveSources() const;

    QWidget& m_window;
    ResultModel& m_model;
    ColumnSettings& m_columns;
    std::vector<Table> m_tables;
    TableMatching::Tables m_data;  // by table, as m_tables; never null
    std::unique_ptr<TableLoading> m_loading;
    std::unique_ptr<TableMatching> m_matching;
    QString m_progress;
    QStringList m_failures;  // of the reads since the loader was idle
    QPointer<TableManager> m_manager;
    FileChooser m_chooseFile;
};

}  // namespace tamboro
