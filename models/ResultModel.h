// The result list's rows: a folder and the header values of every chart, shown
// decoded, with list-control-like operations for the window.
#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/Collator.h"
#include "results/ListColumn.h"
#include "results/RowSorter.h"
#include "search/ChartRow.h"

namespace tamboro {

class ResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Sorts with a collator for the locale of the environment
    // (LC_ALL, LC_COLLATE, LANG).
    explicit ResultModel(QObject* parent = nullptr);
    // Sorts with the given collator.
    explicit ResultModel(Collator collator, QObject* parent = nullptr);
    ~ResultModel() override;

    // Adds rows with one beginInsertRows/endInsertRows at the end. Rows are
    // moved from `rows`; each keeps its insertion index. While the
    // list stands sorted by a column's text (the last SortRows, mode 1 or
    // 2), the new rows then move to their places in that order in one
    // layout change, as if the list had been sorted again; in found order
    // they stay at the end.
    void AppendRows(std::vector<ChartRow>& rows);
    // Removes every row (one model reset) and goes back to found order.
    // Header labels are kept.
    void Clear();

    // Digests computed for a chart listed earlier: its folder and file, and
    // the slot its row stood in when it was queued. Rows may have been read
    // again since (ReplaceFolderRows), which moves them: the digests go to
    // the row of that chart wherever it stands now, and only when it has
    // none (a row read again with digests holds the newer ones); a chart no
    // longer listed is passed over.
    struct ChartDigests {
        uint32_t slot;
        std::string folder;
        std::string file;
        std::string md5;
        std::string sha256;
    };
    void SetDigests(std::vector<ChartDigests>& digests);
    // What a chart's table column holds, from its digests (either may be
    // empty): the text shown and the bytes it sorts by.
    struct TableCell {
        std::string text;
        std::string key;
    };
    using TableCellOf = std::function<TableCell(const std::string& md5, const std::string& sha256)>;
    // Sets what fills the table column: rows get their cells from it as they
    // are appended, replace a folder's rows or get digests. Fills every
    // listed row's cell again now (empty cells when `cellOf` is empty), and
    // sorts again when the list stands sorted by the table column.
    void SetTableCells(TableCellOf cellOf);

    // Puts `rows` (the folder's charts read again) in place of the rows of
    // `folder`, where those stood in the found order (at the end when it had
    // none), and sorts as the list was sorted. One model reset, then
    // FolderRowsReplaced.
    void ReplaceFolderRows(const std::string& folder, std::vector<ChartRow>& rows);

    int RowCountTotal() const { return static_cast<int>(m_sorter.Size()); }
    // The row at a list position.
    const ChartRow& RowAt(int position) const { return m_sorter.At(static_cast<std::size_t>(position)); }
    // Bytes of one cell (a ListColumn).
    const std::string& CellBytes(int position, int column) const;
    // The decoded text shown for one cell.
    QString CellText(int position, int column) const;

    // Sorts the rows, the work behind a click on a column header.
    //   column: a ListColumn (numeric columns sort by number, see RowSorter);
    //   mode:   1 (kSortAscending)  column text ascending,
    //           2 (kSortDescending) column text descending,
    //           0 (kSortFound)      the order the scan found the rows.
    // Text is compared as the collator orders it (linguistic, case-sensitive,
    // on the decoded text; folders by their decoded path). Rows with equal
    // text stay in found order. Views see one
    // layout change; selection and current index follow their rows. The
    // collation keys of a column are computed at its first sort and kept
    // until Clear, so later sorts of that column cost much less. An invalid
    // column (with mode 1 or 2) or mode leaves the order unchanged, but still
    // refreshes the keys.
    // The header labels are not touched: the caller sets them, e.g. with
    // SortedHeaderLabel (see also NextHeaderClick in RowSorter.h).
    void SortRows(int column, int mode);
    // The order rows are kept in as they arrive: the last SortRows' column
    // and mode (mode kSortFound after Clear).
    int SortColumn() const { return m_sortColumn; }
    int SortMode() const { return m_sortMode; }

    // A sorted column's header label: its plain title followed by the mode's
    // suffix, "(Alphabetic)" (1), "(Reverse)" (2) or one space (0).
    static QString SortedHeaderLabel(const QString& plainTitle, int mode);

    // Header labels, shown by the view's header.
    void SetHeaderLabel(int column, const QString& label);
    QString HeaderLabel(int column) const { return m_headerLabels[static_cast<std::size_t>(column)]; }

    // The Qt-free rows and ordering underneath.
    const RowSorter& Sorter() const { return m_sorter; }

    // QAbstractTableModel
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;

signals:
    // A folder read again held `removed` rows and now holds `added`.
    void FolderRowsReplaced(int removed, int added);

private:
    // The slot of the chart (folder, file), looked for at `hint` first; none
    // when it is not listed.
    std::optional<uint32_t> SlotOfChart(uint32_t hint, const std::string& folder, const std::string& file);
    // Numeric columns right-aligned, the others left (cells and titles).
    static QVariant ColumnAlignment(int column);
    // Installs a new order of all rows in one layout change: persistent
    // indexes (selection, current row) follow their rows.
    void InstallOrder(std::vector<uint32_t> order);
    // Gives arriving rows their table cells.
    void FillTableCells(std::vector<ChartRow>& rows) const;
    // Sorts again when sorted by the table column (its keys changed).
    void ResortByTable();
    // The texts of one row's first kColumnCount columns, decoded on first
    // display and kept; the other columns are decoded when shown.
    const std::array<QString, kColumnCount>& RowTexts(uint32_t slot) const;

    RowSorter m_sorter;
    // By storage slot (see RowSorter): decoded texts and whether they are set.
    mutable std::vector<std::array<QString, kColumnCount>> m_texts;
    mutable std::vector<uint8_t> m_decoded;
    // Rows of one folder share its decoded path.
    mutable std::string m_lastFolderBytes;
    mutable QString m_lastFolderText;
    std::array<QString, kAllColumnCount> m_headerLabels;
    TableCellOf m_tableCellOf;
    // The first slot of each folder's rows (a folder's rows hold consecutive
    // slots), built when a chart is not found at its slot and dropped when
    // rows come or go.
    std::unordered_map<std::string, uint32_t> m_firstSlotOfFolder;
    int m_sortColumn = -1;
    int m_sortMode = kSortFound;
};

}  // namespace tamboro
