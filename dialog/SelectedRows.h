// The rows selected in a view, as its model numbers them, in ascending
// order (the order a selection was made in does not count).
#pragma once

#include <vector>

class QAbstractItemView;

namespace tamboro {

std::vector<int> SortedSelectedRows(const QAbstractItemView& view);

}  // namespace tamboro
