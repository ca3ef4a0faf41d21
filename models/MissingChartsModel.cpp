#include "models/MissingChartsModel.h"

#include <algorithm>

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
    m_rows.clear();
    m_rowsWithoutHash = 0;
    for (Chart& chart : charts) {
        const TableEntry& e = chart.entry;
        m_rowsWithoutHash += e.Hash() == EntryHash::None ? 1 : 0;
        std::array<QString, kColumns> texts{QString::fromStdString(m_symbol + e.level),
                                            QString::fromStdString(e.title),
                                            QString::fromStdString(e.artist),
                                            HashText(e.Hash()),
                                            QString::fromStdString(e.url),
                                            QString::fromStdString(e.urlDiff)};
        m_rows.push_back(Row{std::move(chart), std::move(texts), m_rows.size()});
    }
    endResetModel();
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
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int MissingChartsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant MissingChartsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    if (role == Qt::DisplayRole)
        return row.texts[static_cast<std::size_t>(index.column())];
    if (role == Qt::ToolTipRole && index.column() == kHash && row.chart.entry.Hash() == EntryHash::None)
        return tr("難易度表に使える MD5 も SHA-256 もないため、ライブラリと照合できません");
    // The entry's note from the table, when it has one.
    if (role == Qt::ToolTipRole && !row.chart.entry.comment.empty())
        return QString::fromStdString(row.chart.entry.comment);
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

int MissingChartsModel::Compare(const Row& a, const Row& b, int column)
{
    if (column == kLevel && a.chart.levelRank != b.chart.levelRank)
        return a.chart.levelRank < b.chart.levelRank ? -1 : 1;
    if (column == kLevel)
        return 0;
    const auto at = static_cast<std::size_t>(column);
    return QString::localeAwareCompare(a.texts[at], b.texts[at]);
}

void MissingChartsModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= kColumns)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::size_t> placeOf;
    for (const QModelIndex& index : before)
        placeOf.push_back(m_rows[static_cast<std::size_t>(index.row())].place);
    std::stable_sort(m_rows.begin(), m_rows.end(), [&](const Row& a, const Row& b) {
        const int compared = Compare(a, b, column);
        if (compared != 0)
            return order == Qt::AscendingOrder ? compared < 0 : compared > 0;
        return a.place < b.place;
    });
    std::vector<int> rowOfPlace(m_rows.size());
    for (std::size_t row = 0; row < m_rows.size(); ++row)
        rowOfPlace[m_rows[row].place] = static_cast<int>(row);
    QModelIndexList after;
    for (std::size_t i = 0; i < placeOf.size(); ++i)
        after.append(index(rowOfPlace[placeOf[i]], before[static_cast<int>(i)].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace tamboro
