// The result list's rows: four byte strings and a RowKey per chart, shown
// decoded, with list-control-like operations for the window.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <vector>

#include "search/FolderScan.h"

namespace tamboro {

class ResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnFolder, ColumnGenre, ColumnTitle, ColumnArtist, ColumnCount };

    explicit ResultModel(QObject* parent = nullptr);
    ~ResultModel() override;

    // Appends the rows of one folder with one beginInsertRows/endInsertRows.
    // Rows are moved from `rows`; each keeps its insertion index and key.
    void AppendRows(std::vector<ChartRow>& rows);
    // Removes every row (one model reset).
    void Clear();

    int RowCountTotal() const { return static_cast<int>(m_rows.size()); }
    const ChartRow& RowAt(int position) const { return m_rows[static_cast<std::size_t>(position)]; }
    // Bytes of one cell (column 0 folder, 1 genre, 2 title, 3 artist).
    const std::string& CellBytes(int position, int column) const;
    // The decoded text shown for one cell.
    QString CellText(int position, int column) const;

    // Header labels, shown by the view's header.
    void SetHeaderLabel(int column, const QString& label);
    QString HeaderLabel(int column) const { return m_headerLabels[static_cast<std::size_t>(column)]; }

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role = Qt::EditRole) override;

private:
    std::vector<ChartRow> m_rows;
    std::array<QString, ColumnCount> m_headerLabels;
};

}  // namespace tamboro
