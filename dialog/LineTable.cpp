#include "dialog/LineTable.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <algorithm>

namespace tamboro {

void SetUpLineTable(QTableView& view)
{
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.verticalHeader()->hide();
    view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height() + 4);
    view.horizontalHeader()->setStretchLastSection(true);
}

std::vector<int> SortedSelectedRows(const QAbstractItemView& view)
{
    std::vector<int> rows;
    for (const QModelIndex& index : view.selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace tamboro
