#include "models/MissingChartsModel.h"

#include <algorithm>
#include <numeric>

#include "results/MissingLine.h"

namespace tamboro {
namespace {

QString HashText(EntryHash hash)
{
    switch (hash) {
    case EntryHash::Md5:
        return QStringLiteral("MD5");
    case EntryHash::Sha256:
        return QStringLiteral("SHA-256");
    case EntryHash::None:
        break;
    }
    return MissingChartsModel::tr("なし");
}

}  // namespace

MissingChartsModel::MissingChartsModel(std::string symbol, QObject* parent)
    : QAbstractTableModel(parent), m_symbol(std::move(symbol))
{}

void MissingChartsModel::SetCharts(std::vector<Chart> charts)
{
    beginResetModel();
    m_charts = std::move(charts);
    m_order.resize(m_charts.size());
    std::iota(m_order.begin(), m_order.end(), std::uint32_t{0});
    m_rowsWithoutHash = static_cast<int>(std::count_if(
        m_charts.begin(), m_charts.end(), [](const Chart& chart) { return chart.entry.Hash() == EntryHash::None; }));
    endResetModel();
}

QString MissingChartsModel::Text(const Chart& chart, int column) const
{
    const TableEntry& e = chart.entry;
    switch (column) {
    case kLevel:
        return QString::fromStdString(m_symbol + e.level);
    case kTitle:
        return QString::fromStdString(e.title);
    case kArtist:
        return QString::fromStdString(e.artist);
    case kHash:
        return HashText(e.Hash());
    case kUrl:
        return QString::fromStdString(e.url);
    case kUrlDiff:
        return QString::fromStdString(e.urlDiff);
    default:
        return QString();
    }
}

QString MissingChartsModel::Lines(const std::vector<int>& rows) const
{
    std::string lines;
    for (const int row : rows)
        AppendMissingLine(lines, m_symbol, EntryAt(row));
    return QString::fromStdString(lines);
}

int MissingChartsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_order.size());
}

int MissingChartsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant MissingChartsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const Chart& chart = ChartAt(index.row());
    if (role == Qt::DisplayRole)
        return Text(chart, index.column());
    if (role == Qt::ToolTipRole && index.column() == kHash && chart.entry.Hash() == EntryHash::None)
        return tr("難易度表に使える MD5 も SHA-256 もないため、ライブラリと照合できません");
    // The entry's note from the table, when it has one.
    if (role == Qt::ToolTipRole && !chart.entry.comment.empty())
        return QString::fromStdString(chart.entry.comment);
    return QVariant();
}

QVariant MissingChartsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kTitles[kColumns] = {QT_TR_NOOP("レベル"),       QT_TR_NOOP("タイトル"),
                                                  QT_TR_NOOP("アーティスト"), QT_TR_NOOP("ハッシュ"),
                                                  QT_TR_NOOP("譜面のページ"), QT_TR_NOOP("差分のページ")};
    return tr(kTitles[section]);
}

std::vector<std::uint32_t> MissingChartsModel::SortedPlaces(int column, Qt::SortOrder order) const
{
    std::vector<std::uint32_t> places(m_charts.size());
    std::iota(places.begin(), places.end(), std::uint32_t{0});
    // Equal rows stay in the table's order, ascending or descending.
    auto sortBy = [&](auto before) {
        std::stable_sort(places.begin(), places.end(), [&](std::uint32_t a, std::uint32_t b) {
            return order == Qt::AscendingOrder ? before(a, b) : before(b, a);
        });
    };
    if (column == kLevel) {
        sortBy([&](std::uint32_t a, std::uint32_t b) { return m_charts[a].levelRank < m_charts[b].levelRank; });
        return places;
    }
    std::vector<QString> texts;
    texts.reserve(m_charts.size());
    for (const Chart& chart : m_charts)
        texts.push_back(Text(chart, column));
    sortBy([&](std::uint32_t a, std::uint32_t b) { return QString::localeAwareCompare(texts[a], texts[b]) < 0; });
    return places;
}

void MissingChartsModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= kColumns)
        return;
    std::vector<std::uint32_t> sorted = SortedPlaces(column, order);
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::uint32_t> placeOf;
    for (const QModelIndex& index : before)
        placeOf.push_back(m_order[static_cast<std::size_t>(index.row())]);
    m_order = std::move(sorted);
    std::vector<int> rowOfPlace(m_order.size());
    for (std::size_t row = 0; row < m_order.size(); ++row)
        rowOfPlace[m_order[row]] = static_cast<int>(row);
    QModelIndexList after;
    for (std::size_t i = 0; i < placeOf.size(); ++i)
        after.append(index(rowOfPlace[placeOf[i]], before[static_cast<int>(i)].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace tamboro
