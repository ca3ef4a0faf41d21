// The entries of a difficulty table that the library lacks, as a table:
// level (symbol and level), title, artist, the hash the entry is matched by
// (MD5, SHA-256, or none: the table gave no usable hash, so no chart can
// match it), url and url_diff. The level sorts in the table's level order,
// the other columns by their text; equal rows stay in the table's order.
// A cell's text is made when it is shown (or its column sorted), so that
// taking a table of many entries costs no more than moving them in.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "tables/DifficultyTable.h"
#include "tables/TableMatch.h"

namespace tamboro {

class MissingChartsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kLevel, kTitle, kArtist, kHash, kUrl, kUrlDiff, kColumns };

    using Chart = MissingEntry;

    // `symbol`: the table's, written before each level.
    explicit MissingChartsModel(std::string symbol, QObject* parent = nullptr);

    // Puts `charts` (in the table's order) in place of the rows; one reset.
    void SetCharts(std::vector<Chart> charts);

    const TableEntry& EntryAt(int row) const { return ChartAt(row).entry; }
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
    const Chart& ChartAt(int row) const { return m_charts[m_order[static_cast<std::size_t>(row)]]; }
    QString Text(const Chart& chart, int column) const;
    // The places of m_charts in the order of `column`.
    std::vector<std::uint32_t> SortedPlaces(int column, Qt::SortOrder order) const;

    const std::string m_symbol;
    std::vector<Chart> m_charts;         // in the table's order
    std::vector<std::uint32_t> m_order;  // by row: the place in m_charts
    int m_rowsWithoutHash = 0;
};

}  // namespace tamboro
