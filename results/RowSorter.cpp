#include "results/RowSorter.h"

#include <algorithm>
#include <utility>

namespace tamboro {

const char* SortSuffix(int32_t mode)
{
    switch (mode) {
    case kSortAscending: return "(Alphabetic)";
    case kSortDescending: return "(Reverse)";
    default: return " ";
    }
}

HeaderClick NextHeaderClick(int32_t sortColumn, int32_t sortMode, int32_t clickedColumn)
{
    if (clickedColumn == sortColumn)
        return {-1, clickedColumn, (sortMode + 1) % 3};
    return {sortColumn >= 0 ? sortColumn : -1, clickedColumn, kSortAscending};
}

int32_t CompareRows(uint32_t position1, uint32_t position2, const SortParams& params)
{
    const RowSorter& list = *params.list;
    const uint32_t slot1 = list.SlotAt(position1);
    const uint32_t slot2 = list.SlotAt(position2);
    if (params.mode == kSortFound) {
        const uint32_t index1 = list.RowInSlot(slot1).index;
        const uint32_t index2 = list.RowInSlot(slot2).index;
        return (index1 > index2) - (index1 < index2);
    }
    const int order = list.CompareText(slot1, slot2, params.column);
    return params.mode == kSortDescending ? -order : order;
}

RowSorter::RowSorter(Collator collator) : m_collator(std::move(collator)) {}

void RowSorter::Append(std::vector<ChartRow>& rows)
{
    m_rows.reserve(m_rows.size() + rows.size());
    m_order.reserve(m_order.size() + rows.size());
    for (ChartRow& row : rows) {
        m_order.push_back(static_cast<uint32_t>(m_rows.size()));
        m_rows.push_back(std::move(row));
    }
    m_charsets.resize(m_rows.size(), kCharsetUnknown);
    rows.clear();
}

void RowSorter::Clear()
{
    // Give the memory back: a big search can leave hundreds of megabytes.
    std::vector<ChartRow>().swap(m_rows);
    std::vector<uint32_t>().swap(m_order);
    std::vector<uint8_t>().swap(m_charsets);
    for (KeyColumn& keys : m_keys)
        keys = KeyColumn();
}

const std::string& RowSorter::CellBytes(const ChartRow& row, int32_t column)
{
    switch (column) {
    case kColumnFolder: return row.folder;
    case kColumnGenre: return row.genre;
    case kColumnTitle: return row.title;
    default: return row.artist;
    }
}

Charset RowSorter::RowCharset(uint32_t slot) const
{
    uint8_t& cached = m_charsets[slot];
    if (cached == kCharsetUnknown) {
        const ChartRow& row = m_rows[slot];
        cached = static_cast<uint8_t>(DetectCharset({row.genre, row.title, row.artist}));
    }
    return static_cast<Charset>(cached);
}

std::u16string RowSorter::DecodeCell(uint32_t slot, int32_t column) const
{
    const ChartRow& row = m_rows[slot];
    if (column == kColumnFolder)
        return DecodePathToUtf16(row.folder);
    return DecodeToUtf16(CellBytes(row, column), RowCharset(slot));
}

void RowSorter::PrepareSortKeys(int32_t column)
{
    KeyColumn& keys = m_keys[Col(column)];
    const std::size_t ready = keys.offsets.size() - 1;
    if (ready >= m_rows.size())
        return;
    keys.offsets.reserve(m_rows.size() + 1);
    for (std::size_t slot = ready; slot < m_rows.size(); ++slot) {
        // Rows of one folder arrive together: their folder keys are equal.
        if (column == kColumnFolder && slot > 0 && m_rows[slot].folder == m_rows[slot - 1].folder) {
            const std::size_t begin = keys.offsets[slot - 1];
            const std::size_t length = keys.offsets[slot] - begin;
            keys.bytes.reserve(keys.bytes.size() + length);  // no reallocation while copying from itself
            keys.bytes.append(keys.bytes.data() + begin, length);
        } else {
            keys.bytes += m_collator.SortKey(DecodeCell(static_cast<uint32_t>(slot), column));
        }
        keys.offsets.push_back(keys.bytes.size());
    }
}

std::string_view RowSorter::Key(uint32_t slot, int32_t column) const
{
    const KeyColumn& keys = m_keys[Col(column)];
    return std::string_view(keys.bytes).substr(keys.offsets[slot], keys.offsets[slot + 1] - keys.offsets[slot]);
}

int RowSorter::CompareText(uint32_t slot1, uint32_t slot2, int32_t column) const
{
    const std::size_t ready = SortKeysReady(column);
    if (slot1 < ready && slot2 < ready) {
        const int order = Key(slot1, column).compare(Key(slot2, column));
        return (order > 0) - (order < 0);
    }
    return m_collator.Compare(DecodeCell(slot1, column), DecodeCell(slot2, column));
}

std::vector<uint32_t> RowSorter::SortedOrder(int32_t column, int32_t mode)
{
    const bool byText = mode == kSortAscending || mode == kSortDescending;
    if ((mode != kSortFound && !byText) || (byText && (column < 0 || column >= kColumnCount)))
        return m_order;
    if (byText)
        PrepareSortKeys(column);

    // Each entry carries a number whose order agrees with CompareRows: the
    // insertion index, or the first eight bytes of the collation key read
    // big-endian (keys hold no zero bytes, so the zero padding of a short
    // key orders it before its longer extensions). Most comparisons end on
    // that number; CompareRows decides the rest.
    struct Entry {
        uint64_t lead;
        uint32_t position;
    };
    const std::size_t count = m_order.size();
    std::vector<Entry> entries(count);
    for (std::size_t position = 0; position < count; ++position) {
        const uint32_t slot = m_order[position];
        uint64_t lead = 0;
        if (byText) {
            const std::string_view key = Key(slot, column);
            for (std::size_t i = 0; i < 8; ++i)
                lead = (lead << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
        } else {
            lead = m_rows[slot].index;
        }
        entries[position] = {lead, static_cast<uint32_t>(position)};
    }

    // Rows that compare equal keep their found order, so that a sort's
    // result does not depend on the order it started from.
    const SortParams params{this, column, mode};
    const bool descending = mode == kSortDescending;
    std::sort(entries.begin(), entries.end(), [this, &params, descending](const Entry& a, const Entry& b) {
        if (a.lead != b.lead)
            return descending ? a.lead > b.lead : a.lead < b.lead;
        const int32_t order = CompareRows(a.position, b.position, params);
        if (order != 0)
            return order < 0;
        return At(a.position).index < At(b.position).index;
    });

    std::vector<uint32_t> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = m_order[entries[i].position];
    return order;
}

void RowSorter::ApplyOrder(std::vector<uint32_t> order)
{
    if (order.size() > m_rows.size())
        return;  // computed before a Clear: nothing it names exists any more
    // Rows appended since the order was computed stay at the end, in arrival order.
    for (std::size_t slot = order.size(); slot < m_rows.size(); ++slot)
        order.push_back(static_cast<uint32_t>(slot));
    m_order = std::move(order);
    for (std::size_t position = 0; position < m_order.size(); ++position) {
        RowKey& key = m_rows[m_order[position]].key;
        key = (key & 0xFFFF0000u) | (static_cast<uint32_t>(position) & 0xFFFFu);
    }
}

}  // namespace tamboro
