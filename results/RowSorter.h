// The result rows and their ordering, free of Qt so that the window's list and
// the command-line tool sort with the same code.
//
// Rows are stored in the order they arrive and never move: a row's storage
// slot is fixed for its lifetime. What the list shows is a permutation of the
// slots (position -> slot). A sort computes a new permutation while the old
// one stays in force, then installs it in one step.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Collator.h"
#include "platform/TextDecoder.h"
#include "results/ListColumn.h"
#include "search/ChartRow.h"

namespace tamboro {

// Sort modes, as cycled by clicks on one column header.
enum SortMode : int32_t {
    kSortFound = 0,       // the order the scan found the rows (insertion index ascending)
    kSortAscending = 1,   // column text, collator order
    kSortDescending = 2,  // column text, reverse collator order
};

// The text appended to a column's plain title while the list is sorted by
// it: "(Alphabetic)", "(Reverse)", or one space for found order.
const char* SortSuffix(int32_t mode);

// What a click on a column header does: `sortColumn`/`sortMode` are the
// column sorted last (none before any sort) and its mode.
//  - the same column again: the mode cycles 1 -> 2 -> 0 -> 1;
//  - another column: that column is sorted ascending, and the previously
//    sorted column (if any) gets its plain title back.
struct HeaderClick {
    std::optional<ListColumn> restoreColumn;  // column whose plain title must be put back
    ListColumn column;                        // the new sort column (the clicked one)
    SortMode mode;                            // the new sort mode
};
HeaderClick NextHeaderClick(std::optional<ListColumn> sortColumn, SortMode sortMode, ListColumn clickedColumn);

class RowSorter;

// One sort's parameters, handed to CompareRows.
struct SortParams {
    const RowSorter* list;
    int32_t column;  // a ListColumn
    int32_t mode;    // kSortFound, kSortAscending or kSortDescending
};

// The sort order of the rows standing at `position1` and `position2` (as they
// stand when the sort begins; rows do not move while a sort runs).
//  - mode 1: the linguistic order (tertiary strength, case-sensitive) of the
//    decoded text of the column; folder paths are decoded per component;
//    a numeric column (IsNumericColumn) orders values that begin with a
//    decimal number by that number, before the values that do not, which
//    keep the linguistic order among themselves;
//  - mode 2: its negation;
//  - mode 0: the rows' insertion indexes.
// Negative puts row 1 first, positive row 2; zero: either order.
// RowSorter::SortedOrder orders rows this way (comparing the stored keys
// directly rather than through this function).
int32_t CompareRows(uint32_t position1, uint32_t position2, const SortParams& params);

class RowSorter {
public:
    explicit RowSorter(Collator collator = Collator());

    // Moves the rows in at the end, in the order given; each keeps its
    // insertion index. `rows` is left empty.
    void Append(std::vector<ChartRow>& rows);
    // Removes every row and every cached sort key.
    void Clear();
    // Gives the row in `slot` its digests (computed after it was listed);
    // the digest columns' sort keys are made again at their next sort.
    void SetDigests(uint32_t slot, std::string md5, std::string sha256);
    // Gives the row in `slot` its table column (the text and the bytes it
    // sorts by); that column's sort keys are made again at its next sort.
    void SetTable(uint32_t slot, std::string table, std::string tableKey);
    // Puts `rows` in place of the rows in slots [first, end) (a folder's,
    // which arrive together), keeping every other row's place in the found
    // order; the new rows take the found order from `first` on, and the
    // list stands in found order afterwards.
    void ReplaceSlots(uint32_t first, uint32_t end, std::vector<ChartRow>& rows);

    std::size_t Size() const { return m_order.size(); }
    // The row standing at a list position.
    const ChartRow& At(std::size_t position) const { return m_rows[m_order[position]]; }
    // The storage slot of the row at a list position. Slots count rows in
    // arrival order from 0 and stay with their row until Clear.
    uint32_t SlotAt(std::size_t position) const { return m_order[position]; }
    const ChartRow& RowInSlot(uint32_t slot) const { return m_rows[slot]; }
    // List position -> slot, for every position.
    const std::vector<uint32_t>& Order() const { return m_order; }

    // The decoded text of one cell: the values of the tags with one charset
    // decision per row (cached), the folder one path component at a time,
    // the file name as a path component.
    std::u16string DecodeCell(uint32_t slot, int32_t column) const;
    Charset RowCharset(uint32_t slot) const;

    // Computes the collation keys of `column` for every row that has none
    // yet. Keys are kept until Clear, so sorting a column again only costs
    // the sort itself; rows appended later get theirs at the next sort.
    void PrepareSortKeys(int32_t column);
    // Number of rows whose key for `column` is computed (a prefix of the slots).
    std::size_t SortKeysReady(int32_t column) const { return m_keys[Col(column)].offsets.size() - 1; }
    // Orders two slots by the column's text, as the collator does (numeric
    // columns as CompareRows says): -1, 0, 1.
    int CompareText(uint32_t slot1, uint32_t slot2, int32_t column) const;

    // The order a sort would produce (position -> slot), computed without
    // changing the current order. Prepares the column's keys first. Rows
    // that CompareRows finds equal stay in found order. An unknown mode, or
    // an unknown column with mode 1 or 2, gives the current order.
    std::vector<uint32_t> SortedOrder(int32_t column, int32_t mode);
    // Installs an order from SortedOrder (a permutation of all slots).
    void ApplyOrder(std::vector<uint32_t> order);
    // SortedOrder followed by ApplyOrder.
    void Sort(int32_t column, int32_t mode) { ApplyOrder(SortedOrder(column, mode)); }
    // The order SortedOrder would give, computed from an order whose first
    // `sortedCount` positions already stand sorted by `column` and `mode`:
    // the rows after them (rows appended since) are sorted among themselves
    // and merged in, each placed by binary search, so that a list kept
    // sorted while rows arrive costs a few comparisons per new row rather
    // than a sort of all rows. Found order and unknown modes or columns give
    // the current order (appended rows already stand in found order).
    std::vector<uint32_t> MergedOrder(std::size_t sortedCount, int32_t column, int32_t mode);

private:
    // The collation keys of one column, for slots 0 .. offsets.size()-2,
    // packed into one buffer: key of slot s = bytes[offsets[s], offsets[s+1]).
    struct KeyColumn {
        std::string bytes;
        std::vector<std::size_t> offsets{0};
    };
    static std::size_t Col(int32_t column) { return static_cast<std::size_t>(column); }
    std::string_view Key(uint32_t slot, int32_t column) const;
    // The bytes a cell's order is that of, whether kept or not.
    std::string MakeKey(uint32_t slot, int32_t column, const Collator& collator) const;
    // Appends to `keys` the keys of `column` for the slots [firstSlot, endSlot).
    void AppendKeys(KeyColumn& keys, std::size_t firstSlot, std::size_t endSlot, int32_t column,
                    const Collator& collator) const;

    static constexpr uint8_t kCharsetUnknown = 0xFF;

    Collator m_collator;
    std::vector<ChartRow> m_rows;             // by slot
    std::vector<uint32_t> m_order;            // by position: slot
    mutable std::vector<uint8_t> m_charsets;  // by slot: Charset, or kCharsetUnknown
    KeyColumn m_keys[kAllColumnCount];
    std::vector<Collator> m_helperCollators;  // one per helper thread making keys
};

}  // namespace tamboro
