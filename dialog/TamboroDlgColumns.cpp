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

// The first four are the list's own; the others are shown from the
// header's menu (see ColumnSettings).
const std::array<const char*, kAllColumnCount> CTamboroDlg::kColumnTitles = {QT_TR_NOOP("ディレクトリ"),
                                                                             QT_TR_NOOP("ジャンル"),
                                                                             QT_TR_NOOP("タイトル"),
                                                                             QT_TR_NOOP("アーティスト"),
                                                                             QT_TR_NOOP("ファイル"),
                                                                             QT_TR_NOOP("サブタイトル"),
                                                                             QT_TR_NOOP("サブアーティスト"),
                                                                             QT_TR_NOOP("レベル"),
                                                                             QT_TR_NOOP("難易度"),
                                                                             QT_TR_NOOP("BPM"),
                                                                             QT_TR_NOOP("TOTAL"),
                                                                             QT_TR_NOOP("プレイヤー"),
                                                                             QT_TR_NOOP("ランク"),
                                                                             QT_TR_NOOP("MD5"),
                                                                             QT_TR_NOOP("SHA-256")};
const std::array<int, kAllColumnCount> CTamboroDlg::kColumnWidths = {250, 100, 200, 100, 150, 150, 120, 50,
                                                                     50,  50,  50,  50,  50,  230, 420};

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
    for (int column = 0; column < kAllColumnCount; ++column) {
        m_model->SetHeaderLabel(column, m_strColumnTitle[static_cast<std::size_t>(column)]);
        header->resizeSection(column, kColumnWidths[static_cast<std::size_t>(column)]);
    }
    m_columnSettings->Restore(kColumnWidths, m_strColumnTitle);
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
