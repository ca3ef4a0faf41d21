// The list's four columns, their plain titles and initial widths (the
// player's own widths and order over them), and sorting by a click on a
// column header: ascending, descending, then the order the search found.
#include <QHeaderView>

#include "dialog/ColumnSettings.h"
#include "dialog/PendingResults.h"
#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"

namespace tamboro {

const std::array<const char*, kColumnCount> CTamboroDlg::kColumnTitles = {
    QT_TR_NOOP("ディレクトリ"), QT_TR_NOOP("ジャンル"), QT_TR_NOOP("タイトル"), QT_TR_NOOP("アーティスト")};
const std::array<int, kColumnCount> CTamboroDlg::kColumnWidths = {250, 100, 200, 100};

void CTamboroDlg::OnShowWindow(bool bShow, int nStatus)
{
    (void)bShow;
    (void)nStatus;
    if (!m_bColumnsCreated)
        CreateColumns();
}

void CTamboroDlg::CreateColumns()
{
    m_bColumnsCreated = true;
    for (std::size_t i = 0; i < m_strColumnTitle.size(); ++i)
        m_strColumnTitle[i] = tr(kColumnTitles[i]);
    QHeaderView* header = m_list->header();
    for (int column = 0; column < kColumnCount; ++column) {
        m_model->SetHeaderLabel(column, m_strColumnTitle[static_cast<std::size_t>(column)]);
        header->resizeSection(column, kColumnWidths[static_cast<std::size_t>(column)]);
    }
    m_columnSettings->Restore(kColumnWidths);
}

void CTamboroDlg::ResetHeaderLabels()
{
    for (int column = 0; column < kColumnCount; ++column)
        m_model->SetHeaderLabel(column, m_strColumnTitle[static_cast<std::size_t>(column)]);
}

void CTamboroDlg::OnColumnClickList(int column)
{
    if (column < 0 || column >= kColumnCount)
        return;
    // Rows handed over but not shown yet are sorted with the others.
    m_pending->Show();
    const HeaderClick click = NextHeaderClick(m_nSortColumn, m_nSortMode, static_cast<ListColumn>(column));
    if (click.restoreColumn)
        m_model->SetHeaderLabel(*click.restoreColumn, m_strColumnTitle[static_cast<std::size_t>(*click.restoreColumn)]);
    m_nSortMode = click.mode;
    m_nSortColumn = click.column;
    // The model sorts a permutation while the rows stay put, then applies
    // it and rewrites every key's position half.
    m_model->SortRows(column, m_nSortMode);
    m_model->SetHeaderLabel(
        column, ResultModel::SortedHeaderLabel(m_strColumnTitle[static_cast<std::size_t>(column)], m_nSortMode));
}

}  // namespace tamboro
