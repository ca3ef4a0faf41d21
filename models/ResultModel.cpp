#include "models/ResultModel.h"

#include <algorithm>
#include <utility>

namespace tamboro {

ResultModel::ResultModel(QObject* parent) : ResultModel(Collator(), parent)
{}

ResultModel::ResultModel(Collator collator, QObject* parent)
    : QAbstractTableModel(parent), m_sorter(std::move(collator))
{}

ResultModel::~ResultModel() = default;

void ResultModel::AppendRows(std::vector<ChartRow>& rows)
{
    if (rows.empty())
        return;
    FillTableCells(rows);
    const int first = RowCountTotal();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(rows.size()) - 1);
    m_sorter.Append(rows);
    m_firstSlotOfFolder.clear();
    m_texts.resize(m_sorter.Size());
    m_decoded.resize(m_sorter.Size(), 0);
    endInsertRows();
    // Sorted by text: the new rows, at the end now, join the order. Views
    // lay out once at the next paint, after both changes.
    if (m_sortMode == kSortAscending || m_sortMode == kSortDescending)
        InstallOrder(m_sorter.MergedOrder(static_cast<std::size_t>(first), m_sortColumn, m_sortMode));
}

void ResultModel::Clear()
{
    beginResetModel();
    m_sorter.Clear();
    m_firstSlotOfFolder.clear();
    std::vector<std::array<QString, kColumnCount>>().swap(m_texts);
    std::vector<uint8_t>().swap(m_decoded);
    m_lastFolderBytes.clear();
    m_lastFolderText.clear();
    m_sortColumn = -1;
    m_sortMode = kSortFound;
    endResetModel();
}

void ResultModel::SetDigests(std::vector<ChartDigests>& digests)
{
    if (digests.empty())
        return;
    bool tableKeysChanged = false;
    for (ChartDigests& digest : digests) {
        const std::optional<uint32_t> slot = SlotOfChart(digest.slot, digest.folder, digest.file);
        if (!slot)
            continue;
        const ChartRow& row = m_sorter.RowInSlot(*slot);
        if (!row.md5.empty() || !row.sha256.empty())
            continue;
        if (m_tableCellOf) {
            TableCell cell = m_tableCellOf(digest.md5, digest.sha256);
            tableKeysChanged |= cell.key != row.tableKey;
            m_sorter.SetTable(*slot, std::move(cell.text), std::move(cell.key));
        }
        m_sorter.SetDigests(*slot, std::move(digest.md5), std::move(digest.sha256));
    }
    digests.clear();
    emit dataChanged(index(0, kColumnMd5), index(RowCountTotal() - 1, kColumnTable), {Qt::DisplayRole});
    if (tableKeysChanged)
        ResortByTable();
}

std::optional<uint32_t> ResultModel::SlotOfChart(uint32_t hint, const std::string& folder, const std::string& file)
{
    const auto holds = [&](uint32_t slot) {
        const ChartRow& row = m_sorter.RowInSlot(slot);
        return row.file == file && row.folder == folder;
    };
    if (hint < m_sorter.Size() && holds(hint))
        return hint;
    if (m_firstSlotOfFolder.empty()) {
        for (auto slot = static_cast<uint32_t>(m_sorter.Size()); slot-- > 0;)
            m_firstSlotOfFolder[m_sorter.RowInSlot(slot).folder] = slot;
    }
    const auto first = m_firstSlotOfFolder.find(folder);
    if (first == m_firstSlotOfFolder.end())
        return std::nullopt;
    for (uint32_t slot = first->second; slot < m_sorter.Size() && m_sorter.RowInSlot(slot).folder == folder; ++slot) {
        if (m_sorter.RowInSlot(slot).file == file)
            return slot;
    }
    return std::nullopt;
}

void ResultModel::SetTableCells(TableCellOf cellOf)
{
    m_tableCellOf = std::move(cellOf);
    for (uint32_t slot = 0; slot < m_sorter.Size(); ++slot) {
        const ChartRow& row = m_sorter.RowInSlot(slot);
        TableCell cell = m_tableCellOf ? m_tableCellOf(row.md5, row.sha256) : TableCell{};
        m_sorter.SetTable(slot, std::move(cell.text), std::move(cell.key));
    }
    if (RowCountTotal() == 0)
        return;
    emit dataChanged(index(0, kColumnTable), index(RowCountTotal() - 1, kColumnTable), {Qt::DisplayRole});
    ResortByTable();
}

void ResultModel::FillTableCells(std::vector<ChartRow>& rows) const
{
    if (!m_tableCellOf)
        return;
    for (ChartRow& row : rows) {
        TableCell cell = m_tableCellOf(row.md5, row.sha256);
        row.table = std::move(cell.text);
        row.tableKey = std::move(cell.key);
    }
}

void ResultModel::ResortByTable()
{
    if (m_sortColumn == kColumnTable && (m_sortMode == kSortAscending || m_sortMode == kSortDescending))
        SortRows(m_sortColumn, m_sortMode);
}

void ResultModel::ReplaceFolderRows(const std::string& folder, std::vector<ChartRow>& rows)
{
    // A folder's rows arrive together: they hold consecutive slots.
    uint32_t first = static_cast<uint32_t>(m_sorter.Size());
    uint32_t end = first;
    for (uint32_t slot = 0; slot < m_sorter.Size(); ++slot) {
        if (m_sorter.RowInSlot(slot).folder != folder)
            continue;
        first = std::min(first, slot);
        end = slot + 1;
    }
    FillTableCells(rows);
    const int sortColumn = m_sortColumn;
    const int sortMode = m_sortMode;
    const auto added = static_cast<int>(rows.size());
    beginResetModel();
    m_sorter.ReplaceSlots(first, end, rows);
    m_firstSlotOfFolder.clear();
    std::vector<std::array<QString, kColumnCount>>(m_sorter.Size()).swap(m_texts);
    std::vector<uint8_t>(m_sorter.Size(), 0).swap(m_decoded);
    m_lastFolderBytes.clear();
    m_lastFolderText.clear();
    endResetModel();
    if (sortMode != kSortFound)
        SortRows(sortColumn, sortMode);
    emit FolderRowsReplaced(static_cast<int>(end - first), added);
}

const std::string& ResultModel::CellBytes(int position, int column) const
{
    return ColumnBytes(RowAt(position), column);
}

QString ResultModel::CellText(int position, int column) const
{
    const uint32_t slot = m_sorter.SlotAt(static_cast<std::size_t>(position));
    if (column < kColumnCount)
        return RowTexts(slot)[static_cast<std::size_t>(column)];
    return QString::fromStdU16String(m_sorter.DecodeCell(slot, column));
}

const std::array<QString, kColumnCount>& ResultModel::RowTexts(uint32_t slot) const
{
    std::array<QString, kColumnCount>& texts = m_texts[slot];
    if (m_decoded[slot])
        return texts;
    const ChartRow& row = m_sorter.RowInSlot(slot);
    if (row.folder != m_lastFolderBytes || m_lastFolderText.isNull()) {
        m_lastFolderBytes = row.folder;
        m_lastFolderText = QString::fromStdU16String(m_sorter.DecodeCell(slot, kColumnFolder));
    }
    texts[kColumnFolder] = m_lastFolderText;  // shared, not copied
    for (int column = kColumnGenre; column < kColumnCount; ++column)
        texts[static_cast<std::size_t>(column)] = QString::fromStdU16String(m_sorter.DecodeCell(slot, column));
    m_decoded[slot] = 1;
    return texts;
}

void ResultModel::SortRows(int column, int mode)
{
    InstallOrder(m_sorter.SortedOrder(column, mode));
    const bool byText = mode == kSortAscending || mode == kSortDescending;
    if (mode == kSortFound || (byText && column >= 0 && column < kAllColumnCount)) {
        m_sortColumn = column;
        m_sortMode = mode;
    }
}

void ResultModel::InstallOrder(std::vector<uint32_t> order)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // Views and the selection model register the indexes they want kept
    // while handling layoutAboutToBeChanged; each follows its row.
    const QModelIndexList from = persistentIndexList();
    std::vector<uint32_t> movedSlots;
    movedSlots.reserve(static_cast<std::size_t>(from.size()));
    for (const QModelIndex& persistent : from)
        movedSlots.push_back(m_sorter.SlotAt(static_cast<std::size_t>(persistent.row())));

    m_sorter.ApplyOrder(std::move(order));

    if (!from.isEmpty()) {
        std::vector<uint32_t> positionOfSlot(m_sorter.Size());
        const std::vector<uint32_t>& newOrder = m_sorter.Order();
        for (std::size_t position = 0; position < newOrder.size(); ++position)
            positionOfSlot[newOrder[position]] = static_cast<uint32_t>(position);
        QModelIndexList to;
        to.reserve(from.size());
        for (qsizetype i = 0; i < from.size(); ++i)
            to.append(
                index(static_cast<int>(positionOfSlot[movedSlots[static_cast<std::size_t>(i)]]), from[i].column()));
        changePersistentIndexList(from, to);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

QString ResultModel::SortedHeaderLabel(const QString& plainTitle, int mode)
{
    return plainTitle + QString::fromLatin1(SortSuffix(mode));
}

void ResultModel::SetHeaderLabel(int column, const QString& label)
{
    if (column < 0 || column >= kAllColumnCount)
        return;
    m_headerLabels[static_cast<std::size_t>(column)] = label;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

int ResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCountTotal();
}

int ResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kAllColumnCount;
}

QVariant ResultModel::ColumnAlignment(int column)
{
    // Numbers line up by their last digit.
    const Qt::Alignment side = IsNumericColumn(column) ? Qt::AlignRight : Qt::AlignLeft;
    return QVariant(static_cast<int>(side | Qt::AlignVCenter));
}

QVariant ResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= RowCountTotal() || index.column() >= kAllColumnCount)
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
        return CellText(index.row(), index.column());
    case Qt::TextAlignmentRole:
        return ColumnAlignment(index.column());
    default:
        return QVariant();
    }
}

QVariant ResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kAllColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (role) {
    case Qt::DisplayRole:
        return m_headerLabels[static_cast<std::size_t>(section)];
    case Qt::TextAlignmentRole:
        return ColumnAlignment(section);
    default:
        return QVariant();
    }
}

bool ResultModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kAllColumnCount ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    SetHeaderLabel(section, value.toString());
    return true;
}

}  // namespace tamboro
