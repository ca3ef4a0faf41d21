// The entries of a difficulty table that the library lacks, as a table:
// level (symbol and level), title, artist, the hash the entry is matched by
// (MD5, SHA-256, or none: the table gave no usable hash, so no chart can
// match it), url and url_diff. The level sorts in the table's level order,
// the other columns by their text; equal rows stay in the table's order.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "tables/DifficultyTable.h"

namespace tamboro {

class MissingChartsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kLevel, kTitle, kArtist, kHash, kUrl, kUrlDiff, kColumns };

    struct Chart {
        TableEntry entry;
        // The place of its level among the table's levels.
        std::uint32_t levelRank = 0;
    };

    // `symbol`: the table's, written before each level.
    explicit MissingChartsModel(std::string symbol, QObject* parent = nullptr);

    // Puts `charts` (in the table's order) in place of the rows; one reset.
    void SetCharts(std::vector<Chart> charts);

    const TableEntry& EntryAt(int row) const { return m_rows[static_cast<std::size_t>(row)].chart.entry; }
    // Rows of entries without a usable hash.
    int RowsWithoutHash() const { return m_rowsWithoutHash; }
    // The lines tamboro-scan --missing prints for the given rows, in that
    // order.
    QString Lines(const std::vector<int>& rows) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    struct Row {
        Chart chart;
        std::array<QString, kColumns> texts;
        std::size_t place;  // in the table's order
    };
    // Negative, zero or positive as row `a` comes before, with or after `b`
    // by `column`, ascending.
    static int Compare(const Row& a, const Row& b, int column);

    const std::string m_symbol;
    std::vector<Row> m_rows;
    int m_rowsWithoutHash = 0;
};

}  // namespace tamboro
