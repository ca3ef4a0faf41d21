#include "models/RowFilterModel.h"

#include <algorithm>

#include "results/RowPrinter.h"

namespace tamboro {

RowFilterModel::RowFilterModel(ResultModel* source, QObject* parent) : QAbstractProxyModel(parent), m_source(source)
{
    QAbstractProxyModel::setSourceModel(source);
    ConnectSource();
    m_lastListed = m_lastShown = ListedCount();
}

RowFilterModel::~RowFilterModel() = default;

void RowFilterModel::ConnectSource()
{
    QAbstractItemModel* source = m_source;
    connect(source, &QAbstractItemModel::rowsAboutToBeInserted, this, &RowFilterModel::OnRowsAboutToBeInserted);
    connect(source, &QAbstractItemModel::rowsInserted, this, &RowFilterModel::OnRowsInserted);
    connect(source, &QAbstractItemModel::rowsAboutToBeRemoved, this, &RowFilterModel::OnRowsAboutToBeRemoved);
    connect(source, &QAbstractItemModel::rowsRemoved, this, &RowFilterModel::OnRowsRemoved);
    connect(source, &QAbstractItemModel::modelAboutToBeReset, this, &RowFilterModel::OnModelAboutToBeReset);
    connect(source, &QAbstractItemModel::modelReset, this, &RowFilterModel::OnModelReset);
    connect(source, &QAbstractItemModel::layoutAboutToBeChanged, this, &RowFilterModel::OnLayoutAboutToBeChanged);
    connect(source, &QAbstractItemModel::layoutChanged, this, &RowFilterModel::OnLayoutChanged);
    connect(source, &QAbstractItemModel::dataChanged, this, &RowFilterModel::OnDataChanged);
    connect(source, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
}

void RowFilterModel::PrepareFolding()
{
    m_folding = true;
    m_folded.Update(m_source->Sorter());
}

void RowFilterModel::SetFilterText(const QString& text)
{
    m_filterText = text;
    std::u16string query = m_folded.FoldQuery(text.toStdU16String());
    if (query == m_query)
        return;
    if (!query.empty() && !m_folding)
        PrepareFolding();

    std::vector<uint8_t> matches;
    std::vector<int> shown;
    if (!query.empty()) {
        m_folded.Match(query, matches);
        shown = ShownPositions(matches);
    }
    // Shown rows are a subsequence of the list: equal counts mean equal rows.
    const std::size_t shownBefore = IsFiltering() ? m_shown.size() : m_source->Sorter().Size();
    const std::size_t shownAfter = query.empty() ? m_source->Sorter().Size() : shown.size();
    const bool sameRows = shownBefore == shownAfter && (!IsFiltering() || query.empty() || shown == m_shown);
    if (sameRows) {  // typing on within the same rows: views need not hear of it
        Install(std::move(query), std::move(matches), std::move(shown));
        return;
    }

    // One layout change: persistent indexes (selection, current index)
    // move with their rows, or become invalid while their row is hidden.
    emit layoutAboutToBeChanged({}, QAbstractItemModel::NoLayoutChangeHint);
    const QModelIndexList from = persistentIndexList();
    std::vector<int> fromPositions;
    fromPositions.reserve(static_cast<std::size_t>(from.size()));
    for (const QModelIndex& index : from)
        fromPositions.push_back(SourcePosition(index.row()));

    Install(std::move(query), std::move(matches), std::move(shown));

    QModelIndexList to;
    to.reserve(from.size());
    for (qsizetype i = 0; i < from.size(); ++i)
        to.append(mapFromSource(m_source->index(fromPositions[static_cast<std::size_t>(i)], from[i].column())));
    changePersistentIndexList(from, to);
    emit layoutChanged({}, QAbstractItemModel::NoLayoutChangeHint);
    EmitCountsIfChanged();
}

void RowFilterModel::Install(std::u16string query, std::vector<uint8_t> matches, std::vector<int> shown)
{
    m_query = std::move(query);
    m_matches = std::move(matches);
    m_shown = std::move(shown);
    if (!IsFiltering()) {
        std::vector<int>().swap(m_rowOfPosition);
        return;
    }
    m_rowOfPosition.assign(m_source->Sorter().Size(), -1);
    for (std::size_t row = 0; row < m_shown.size(); ++row)
        m_rowOfPosition[static_cast<std::size_t>(m_shown[row])] = static_cast<int>(row);
}

std::vector<int> RowFilterModel::ShownPositions(const std::vector<uint8_t>& matches) const
{
    const RowSorter& sorter = m_source->Sorter();
    std::vector<int> shown;
    for (std::size_t position = 0; position < sorter.Size(); ++position)
        if (matches[sorter.SlotAt(position)])
            shown.push_back(static_cast<int>(position));
    return shown;
}

QString RowFilterModel::RowLines(const QModelIndexList& indexes, std::vector<ListColumn> columns) const
{
    std::vector<int> rows;
    rows.reserve(static_cast<std::size_t>(indexes.size()));
    for (const QModelIndex& index : indexes)
        if (index.isValid() && index.model() == this)
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    RowPrinter printer(false, std::move(columns));
    std::string lines;
    for (const int row : rows)
        printer.AppendLine(lines, m_source->RowAt(SourcePosition(row)));
    return QString::fromStdString(lines);
}

void RowFilterModel::RebuildShown()
{
    std::vector<int> shown = ShownPositions(m_matches);
    Install(std::move(m_query), std::move(m_matches), std::move(shown));
}

void RowFilterModel::AppendShown(int first, int last)
{
    const RowSorter& sorter = m_source->Sorter();
    m_folded.Match(m_query, m_matches, m_matches.size());  // only the new rows
    std::vector<int> added;
    for (int position = first; position <= last; ++position)
        if (m_matches[sorter.SlotAt(static_cast<std::size_t>(position))])
            added.push_back(position);
    m_rowOfPosition.resize(sorter.Size(), -1);
    if (added.empty())
        return;
    const int firstRow = static_cast<int>(m_shown.size());
    beginInsertRows(QModelIndex(), firstRow, firstRow + static_cast<int>(added.size()) - 1);
    for (const int position : added) {
        m_rowOfPosition[static_cast<std::size_t>(position)] = static_cast<int>(m_shown.size());
        m_shown.push_back(position);
    }
    endInsertRows();
}

void RowFilterModel::EmitCountsIfChanged()
{
    const int shown = ShownCount();
    const int listed = ListedCount();
    if (shown == m_lastShown && listed == m_lastListed)
        return;
    m_lastShown = shown;
    m_lastListed = listed;
    emit CountsChanged(shown, listed);
}

// Source changes. Unfiltered, each is passed on as it comes. Filtered, rows
// appended at the end (all a search does) become shown rows appended at the
// end; anything else is passed on as a model reset.

void RowFilterModel::OnRowsAboutToBeInserted(const QModelIndex& parent, int first, int last)
{
    if (parent.isValid())
        return;
    if (!IsFiltering()) {
        beginInsertRows(QModelIndex(), first, last);
    } else if (first != m_source->rowCount()) {
        beginResetModel();
        m_resetting = true;
    }
}

void RowFilterModel::OnRowsInserted(const QModelIndex& parent, int first, int last)
{
    if (parent.isValid())
        return;
    if (m_folding)
        m_folded.Update(m_source->Sorter());
    if (!IsFiltering()) {
        endInsertRows();
    } else if (m_resetting) {
        m_folded.Match(m_query, m_matches);
        RebuildShown();
        m_resetting = false;
        endResetModel();
    } else {
        AppendShown(first, last);
    }
    EmitCountsIfChanged();
}

void RowFilterModel::OnRowsAboutToBeRemoved(const QModelIndex& parent, int first, int last)
{
    if (parent.isValid())
        return;
    if (!IsFiltering()) {
        beginRemoveRows(QModelIndex(), first, last);
    } else {
        beginResetModel();
        m_resetting = true;
    }
}

void RowFilterModel::OnRowsRemoved(const QModelIndex& parent, int, int)
{
    if (parent.isValid())
        return;
    // Slots may have changed under the removed rows: fold again.
    m_folded.Clear();
    if (m_folding)
        m_folded.Update(m_source->Sorter());
    if (!IsFiltering()) {
        endRemoveRows();
    } else {
        m_folded.Match(m_query, m_matches);
        RebuildShown();
        m_resetting = false;
        endResetModel();
    }
    EmitCountsIfChanged();
}

void RowFilterModel::OnModelAboutToBeReset()
{
    beginResetModel();
}

void RowFilterModel::OnModelReset()
{
    m_folded.Clear();
    if (m_folding)
        m_folded.Update(m_source->Sorter());
    if (IsFiltering()) {
        m_folded.Match(m_query, m_matches);
        RebuildShown();
    }
    endResetModel();
    EmitCountsIfChanged();
}

void RowFilterModel::OnLayoutAboutToBeChanged(const QList<QPersistentModelIndex>&,
                                              QAbstractItemModel::LayoutChangeHint hint)
{
    emit layoutAboutToBeChanged({}, hint);
    // The source moves its own persistent indexes with their rows; ours
    // follow through them.
    m_layoutFrom = persistentIndexList();
    m_layoutSource.clear();
    m_layoutSource.reserve(m_layoutFrom.size());
    for (const QModelIndex& index : m_layoutFrom)
        m_layoutSource.append(QPersistentModelIndex(mapToSource(index)));
}

void RowFilterModel::OnLayoutChanged(const QList<QPersistentModelIndex>&, QAbstractItemModel::LayoutChangeHint hint)
{
    if (IsFiltering())
        RebuildShown();
    QModelIndexList to;
    to.reserve(m_layoutFrom.size());
    for (const QPersistentModelIndex& source : m_layoutSource)
        to.append(mapFromSource(source));
    changePersistentIndexList(m_layoutFrom, to);
    m_layoutFrom.clear();
    m_layoutSource.clear();
    emit layoutChanged({}, hint);
}

void RowFilterModel::OnDataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight, const QList<int>& roles)
{
    if (topLeft.parent().isValid())
        return;
    if (!IsFiltering()) {
        emit dataChanged(index(topLeft.row(), topLeft.column()), index(bottomRight.row(), bottomRight.column()), roles);
        return;
    }
    // Shown rows keep the list's order: the changed ones are one run.
    const auto firstShown = std::lower_bound(m_shown.begin(), m_shown.end(), topLeft.row());
    const auto endShown = std::upper_bound(m_shown.begin(), m_shown.end(), bottomRight.row());
    if (firstShown < endShown)
        emit dataChanged(index(static_cast<int>(firstShown - m_shown.begin()), topLeft.column()),
                         index(static_cast<int>(endShown - m_shown.begin()) - 1, bottomRight.column()), roles);
}

// QAbstractProxyModel

QModelIndex RowFilterModel::mapToSource(const QModelIndex& proxyIndex) const
{
    if (!proxyIndex.isValid() || proxyIndex.model() != this || proxyIndex.row() >= rowCount())
        return QModelIndex();
    return m_source->index(SourcePosition(proxyIndex.row()), proxyIndex.column());
}

QModelIndex RowFilterModel::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.model() != m_source)
        return QModelIndex();
    if (!IsFiltering())
        return index(sourceIndex.row(), sourceIndex.column());
    const std::size_t position = static_cast<std::size_t>(sourceIndex.row());
    if (position >= m_rowOfPosition.size() || m_rowOfPosition[position] < 0)
        return QModelIndex();
    return index(m_rowOfPosition[position], sourceIndex.column());
}

QModelIndex RowFilterModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex RowFilterModel::parent(const QModelIndex&) const
{
    return QModelIndex();
}

int RowFilterModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return IsFiltering() ? static_cast<int>(m_shown.size()) : m_source->rowCount();
}

int RowFilterModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_source->columnCount();
}

bool RowFilterModel::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() && rowCount() > 0;
}

QVariant RowFilterModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal)
        return m_source->headerData(section, orientation, role);
    if (section < 0 || section >= rowCount())
        return QVariant();
    return m_source->headerData(SourcePosition(section), orientation, role);
}

bool RowFilterModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    return orientation == Qt::Horizontal && m_source->setHeaderData(section, orientation, value, role);
}

}  // namespace tamboro
