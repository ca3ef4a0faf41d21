// The difficulty tables' dialog: each table's source, name, symbol, number of
// entries and state (reading, read, from the kept copy, failed or stopped,
// with why the last read failed) with the reading's progress under them;
// adding a table by address or path or by a file chosen, reading the
// selected one again, stopping its reading, removing it, and asking for the
// charts of it the library lacks.
#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tamboro {

class DifficultyTables;

class TableManager : public QDialog {
    Q_OBJECT
public:
    TableManager(DifficultyTables& tables, QWidget* parent);

signals:
    void MissingChartsAsked(int tableIndex);

private:
    void CreateControls();
    // Lists the tables again, keeping the selected row.
    void Refresh();
    void UpdateButtons();
    void AddFromEdit();
    void AddFromFile();
    // The table of the selected row, or -1.
    int SelectedTable() const;

    DifficultyTables& m_tables;
    QTableWidget* m_list = nullptr;
    QLineEdit* m_address = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_addFile = nullptr;
    QPushButton* m_readAgain = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_remove = nullptr;
    QPushButton* m_missing = nullptr;
    QLabel* m_progress = nullptr;
};

}  // namespace tamboro
