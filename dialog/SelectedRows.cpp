#include "dialog/SelectedRows.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <algorithm>

namespace tamboro {

std::vector<int> SortedSelectedRows(const QAbstractItemView& view)
{
    std::vector<int> rows;
    for (const QModelIndex& index : view.selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

}  // namespace tamboro
