// A window's table of lines (the check's problems, a table's missing
// charts): whole rows selected, several at once, nothing edited, rows as
// tall as a line of text as in the main list, the last column stretched.
#pragma once

#include <vector>

class QAbstractItemView;
class QTableView;

namespace tamboro {

void SetUpLineTable(QTableView& view);

// The rows selected in a view, as its model numbers them, in ascending
// order (the order a selection was made in does not count).
std::vector<int> SortedSelectedRows(const QAbstractItemView& view);

}  // namespace tamboro
