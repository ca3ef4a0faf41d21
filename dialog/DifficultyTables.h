// The window's difficulty tables: their sources, remembered in the settings
// file (`tables=`, comma-separated, in the order added), each read in the
// background on its own (worker/TableLoading: at start from its kept copy,
// when added or read again from the network; a read can be stopped), the
// table column they fill (ResultModel::SetTableCells, offered in the header's
// menu while there are tables), and the manager that lists them (`難易度表…`
// in the list's menu). Why a table could not be read shows in its state; a
// read the player asked for that fails is also told in a message box.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <cstdint>
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
    enum class State { Reading, Read, KeptCopy, Failed, Stopped };
    struct Table {
        std::string source;
        State state = State::Reading;
        // Why the last read from the network failed, in the player's words
        // (TableFailureText); empty when it did not.
        QString failure;
        // The read under way (TableLoading's number), or 0.
        uint64_t read = 0;
        // The state to go back to when the read under way is stopped.
        State stateBefore = State::Stopped;
        // The read under way was asked for by the player: a failure is
        // told in a message box too.
        bool asked = false;
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
    // "読み込み中: ADDRESS" (or "読み込み中 (2 件): ADDRESS ほか") while
    // reading, else empty.
    const QString& Progress() const { return m_progress; }

    // Adds a table by its http, https or file address or its path, and
    // reads it from the network. False, with nothing added, for an empty
    // source, one holding a comma (the settings' separator) or one listed
    // already.
    bool Add(const QString& source);
    void ReadAgain(int index);
    // Ends the read under way: the table keeps what it had before it.
    void StopReading(int index);
    // Removes the table, ending its read.
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
    // Reads tables[index]; `asked` by the player.
    void Load(std::size_t index, bool fromNetwork, bool asked);
    void OnLoaded(const TableLoading::Outcome& outcome);
    // Tells a failed read the player asked for in a message box.
    void TellFailure(const Table& table, bool keptCopyUsed);
    void UpdateProgress();
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
    QPointer<TableManager> m_manager;
    FileChooser m_chooseFile;
};

}  // namespace tamboro
