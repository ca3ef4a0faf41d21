#include "models/CheckProblemModel.h"

#include <algorithm>

#include "results/CheckLine.h"

namespace tamboro {

namespace {

// The window's name for a kind; the command's word for a kind it has no
// name for.
QString KindLabel(CheckKind kind)
{
    switch (kind) {
    case CheckKind::Duplicate:
        return CheckProblemModel::tr("重複");
    case CheckKind::MissingFile:
        return CheckProblemModel::tr("ファイルなし");
    case CheckKind::CaseMismatch:
        return CheckProblemModel::tr("大文字・小文字違い");
    case CheckKind::Unreadable:
        return CheckProblemModel::tr("読めない");
    default:
        return QString::fromUtf8(CheckKindName(kind));
    }
}

}  // namespace

CheckProblemModel::CheckProblemModel(QObject* parent) : QAbstractTableModel(parent)
{}

void CheckProblemModel::Append(std::vector<CheckProblem> problems)
{
    if (problems.empty())
        return;
    const int first = static_cast<int>(m_problems.size());
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(problems.size()) - 1);
    for (CheckProblem& problem : problems) {
        const CheckCells cells = CheckCellsOf(problem, false);
        std::array<QString, kColumns> texts{KindLabel(problem.kind), QString::fromStdString(cells.folder),
                                            QString::fromStdString(cells.file), QString::fromStdString(cells.detail),
                                            QString::fromStdString(cells.found)};
        m_problems.push_back(Entry{std::move(problem), std::move(texts), m_problems.size()});
    }
    endInsertRows();
}

void CheckProblemModel::Clear()
{
    beginResetModel();
    m_problems.clear();
    endResetModel();
}

QString CheckProblemModel::Lines(const std::vector<int>& rows) const
{
    std::string lines;
    for (const int row : rows)
        AppendCheckLine(lines, ProblemAt(row), false);
    return QString::fromStdString(lines);
}

int CheckProblemModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_problems.size());
}

int CheckProblemModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant CheckProblemModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= rowCount())
        return QVariant();
    return m_problems[static_cast<std::size_t>(index.row())].texts[static_cast<std::size_t>(index.column())];
}

QVariant CheckProblemModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= kColumns)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char* const kTitles[kColumns] = {QT_TR_NOOP("種類"), QT_TR_NOOP("フォルダ"), QT_TR_NOOP("ファイル"),
                                                  QT_TR_NOOP("詳細"), QT_TR_NOOP("見つかったファイル")};
    return tr(kTitles[section]);
}

void CheckProblemModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= kColumns)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::size_t> foundOf;
    for (const QModelIndex& index : before)
        foundOf.push_back(m_problems[static_cast<std::size_t>(index.row())].found);
    const auto column_ = static_cast<std::size_t>(column);
    std::stable_sort(m_problems.begin(), m_problems.end(), [&](const Entry& a, const Entry& b) {
        // Kinds in the order of the report, not of their names.
        const int byText = column == kKind ? static_cast<int>(a.problem.kind) - static_cast<int>(b.problem.kind)
                                           : a.texts[column_].compare(b.texts[column_]);
        if (byText != 0)
            return order == Qt::AscendingOrder ? byText < 0 : byText > 0;
        return a.found < b.found;
    });
    std::vector<int> rowOfFound(m_problems.size());
    for (std::size_t row = 0; row < m_problems.size(); ++row)
        rowOfFound[m_problems[row].found] = static_cast<int>(row);
    QModelIndexList after;
    for (std::size_t i = 0; i < foundOf.size(); ++i)
        after.append(index(rowOfFound[foundOf[i]], before[static_cast<int>(i)].column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

}  // namespace tamboro
