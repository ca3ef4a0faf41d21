// The list's columns, their plain titles and initial widths (the
// player's own widths and order over them), and sorting by a click on a
// column header: ascending, descending, then the order the search found.
#include <QHeaderView>
#include <algorithm>

#include "dialog/ColumnSettings.h"
#include "dialog/ColumnTitles.h"
#include "dialog/PendingResults.h"
#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"

namespace tamboro {

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
    std::array<int, kAllColumnCount> widths = kColumnWidths;
    // Digests whole, in whatever font the list has.
    widths[kColumnMd5] = std::max(widths[kColumnMd5], m_list->HexDigitsWidth(32));
    widths[kColumnSha256] = std::max(widths[kColumnSha256], m_list->HexDigitsWidth(64));
    for (int column = 0; column < kAllColumnCount; ++column) {
        m_model->SetHeaderLabel(column, m_strColumnTitle[static_cast<std::size_t>(column)]);
        header->resizeSection(column, widths[static_cast<std::size_t>(column)]);
    }
    m_columnSettings->Restore(widths, m_strColumnTitle);
}

void CTamboroDlg::ResetHeaderLabels()
{
    for (int column = 0; column < kAllColumnCount; ++column)
        m_model->SetHeaderLabel(column, m_strColumnTitle[static_cast<std::size_t>(column)]);
}

void CTamboroDlg::OnColumnClickList(int column)
{
    if (column < 0 || column >= kAllColumnCount)
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
