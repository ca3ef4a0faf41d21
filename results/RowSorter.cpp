#include "results/RowSorter.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <system_error>
#include <thread>
#include <utility>

namespace tamboro {
namespace {

// The decimal number a value begins with (after spaces or tabs), like 9,
// 150.5, -1 or .5; nothing for a value that begins otherwise.
std::optional<double> LeadingNumber(std::string_view value)
{
    const std::size_t start = value.find_first_not_of(" \t");
    if (start == std::string_view::npos)
        return std::nullopt;
    value.remove_prefix(start);
    const std::size_t digit = value.front() == '-' ? 1 : 0;
    const auto isDigit = [&value](std::size_t i) { return i < value.size() && value[i] >= '0' && value[i] <= '9'; };
    // from_chars also reads "inf" and "nan": a number begins with a digit.
    if (!isDigit(digit) && !(digit < value.size() && value[digit] == '.' && isDigit(digit + 1)))
        return std::nullopt;
    double number = 0;
    const auto [end, error] =
        std::from_chars(value.data(), value.data() + value.size(), number, std::chars_format::fixed);
    if (error != std::errc())
        return std::nullopt;
    return number == 0 ? 0.0 : number;  // -0 is 0
}

// Bytes that order as the numbers do: the sign bit set for positive
// numbers, every bit flipped for negative ones, most significant first.
void AppendNumberKey(std::string& key, double number)
{
    auto bits = std::bit_cast<uint64_t>(number);
    bits = (bits >> 63) != 0 ? ~bits : bits | (uint64_t{1} << 63);
    for (int shift = 56; shift >= 0; shift -= 8)
        key += static_cast<char>((bits >> shift) & 0xFF);
}

}  // namespace

const char* SortSuffix(int32_t mode)
{
    switch (mode) {
    case kSortAscending:
        return "(Alphabetic)";
    case kSortDescending:
        return "(Reverse)";
    default:
        return " ";
    }
}

HeaderClick NextHeaderClick(std::optional<ListColumn> sortColumn, SortMode sortMode, ListColumn clickedColumn)
{
    if (clickedColumn == sortColumn)
        return {std::nullopt, clickedColumn, static_cast<SortMode>((sortMode + 1) % 3)};
    return {sortColumn, clickedColumn, kSortAscending};
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

RowSorter::RowSorter(Collator collator) : m_collator(std::move(collator))
{}

void RowSorter::Append(std::vector<ChartRow>& rows)
{
    // No reserve here: an exact reserve per folder would copy all rows for
    // every folder; push_back grows geometrically.
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

void RowSorter::SetDigests(uint32_t slot, std::string md5, std::string sha256)
{
    m_rows[slot].md5 = std::move(md5);
    m_rows[slot].sha256 = std::move(sha256);
    m_keys[kColumnMd5] = KeyColumn();
    m_keys[kColumnSha256] = KeyColumn();
}

void RowSorter::SetTable(uint32_t slot, std::string table, std::string tableKey)
{
    m_rows[slot].table = std::move(table);
    m_rows[slot].tableKey = std::move(tableKey);
    m_keys[kColumnTable] = KeyColumn();
}

void RowSorter::ReplaceSlots(uint32_t first, uint32_t end, std::vector<ChartRow>& rows)
{
    std::vector<ChartRow> all;
    all.reserve(m_rows.size() - (end - first) + rows.size());
    std::move(m_rows.begin(), m_rows.begin() + first, std::back_inserter(all));
    std::move(rows.begin(), rows.end(), std::back_inserter(all));
    std::move(m_rows.begin() + end, m_rows.end(), std::back_inserter(all));
    rows.clear();
    // Slots are the found order: the rows keep their order, numbered anew.
    for (std::size_t slot = 0; slot < all.size(); ++slot)
        all[slot].index = static_cast<uint32_t>(slot);
    Clear();
    Append(all);
}

Charset RowSorter::RowCharset(uint32_t slot) const
{
    uint8_t& cached = m_charsets[slot];
    if (cached == kCharsetUnknown) {
        const ChartRow& row = m_rows[slot];
        cached = static_cast<uint8_t>(DetectCharset(row.values.Values()));
    }
    return static_cast<Charset>(cached);
}

std::u16string RowSorter::DecodeCell(uint32_t slot, int32_t column) const
{
    const ChartRow& row = m_rows[slot];
    switch (column) {
    case kColumnFolder:
        return DecodePathToUtf16(row.folder);
    case kColumnFile:
        return DecodePathToUtf16(row.file);
    case kColumnMd5:
    case kColumnSha256:
        return std::u16string(ColumnBytes(row, column).begin(), ColumnBytes(row, column).end());
    case kColumnTable:
        return DecodeToUtf16(row.table, Charset::Utf8);
    default:
        return DecodeToUtf16(ColumnBytes(row, column), RowCharset(slot));
    }
}

// A numeric column's key: 0 and the number's bytes for a value that begins
// with a number, 1 and the collation key for the others.
std::string RowSorter::MakeKey(uint32_t slot, int32_t column, const Collator& collator) const
{
    // By table, then by the level's place in it (see TableSortKey).
    if (column == kColumnTable)
        return m_rows[slot].tableKey.empty() ? std::string(1, '\xFF') : m_rows[slot].tableKey;
    if (!IsNumericColumn(column))
        return collator.SortKey(DecodeCell(slot, column));
    std::string key;
    if (const std::optional<double> number = LeadingNumber(ColumnBytes(m_rows[slot], column))) {
        key += '\0';
        AppendNumberKey(key, *number);
    } else {
        key += '\1';
        key += collator.SortKey(DecodeCell(slot, column));
    }
    return key;
}

void RowSorter::AppendKeys(KeyColumn& keys, std::size_t firstSlot, std::size_t endSlot, int32_t column,
                           const Collator& collator) const
{
    for (std::size_t slot = firstSlot; slot < endSlot; ++slot) {
        const std::size_t own = keys.offsets.size() - 1;  // keys of this buffer so far
        // Rows of one folder arrive together: their folder keys are equal.
        if (column == kColumnFolder && own > 0 && slot > 0 && m_rows[slot].folder == m_rows[slot - 1].folder) {
            const std::size_t begin = keys.offsets[own - 1];
            const std::size_t length = keys.offsets[own] - begin;
            // Room first (growing geometrically), so that copying from the
            // buffer into itself never reallocates under the copy.
            if (keys.bytes.capacity() < keys.bytes.size() + length)
                keys.bytes.reserve(std::max(2 * keys.bytes.capacity(), keys.bytes.size() + length));
            keys.bytes.append(keys.bytes.data() + begin, length);
        } else {
            keys.bytes += MakeKey(static_cast<uint32_t>(slot), column, collator);
        }
        keys.offsets.push_back(keys.bytes.size());
    }
}

void RowSorter::PrepareSortKeys(int32_t column)
{
    KeyColumn& keys = m_keys[Col(column)];
    const std::size_t ready = keys.offsets.size() - 1;
    if (ready >= m_rows.size())
        return;
    keys.offsets.reserve(m_rows.size() + 1);

    // Decoding and key making dominate a first sort; with many rows they are
    // shared out to helper threads, each with its own copy of the collator
    // (a collator serves one thread at a time). Each thread takes its own
    // range of slots, so the charset cache entries it fills are its own.
    const std::size_t missing = m_rows.size() - ready;
    const std::size_t threads =
        std::min<std::size_t>({std::max(1u, std::thread::hardware_concurrency()), 4, missing / 4096 + 1});
    if (threads <= 1) {
        AppendKeys(keys, ready, m_rows.size(), column, m_collator);
        return;
    }
    while (m_helperCollators.size() < threads - 1)
        m_helperCollators.push_back(m_collator);
    const std::size_t share = missing / threads;
    std::vector<KeyColumn> parts(threads - 1);
    std::vector<std::thread> helpers;
    for (std::size_t t = 1; t < threads; ++t) {
        const std::size_t first = ready + t * share;
        const std::size_t end = t + 1 == threads ? m_rows.size() : first + share;
        auto work = [this, &parts, &collator = m_helperCollators[t - 1], t, first, end, column] {
            parts[t - 1].offsets.reserve(end - first + 1);
            AppendKeys(parts[t - 1], first, end, column, collator);
        };
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            work();  // no thread to be had: do that share here
        }
    }
    AppendKeys(keys, ready, ready + share, column, m_collator);
    for (std::thread& helper : helpers)
        helper.join();
    for (const KeyColumn& part : parts) {
        const std::size_t base = keys.bytes.size();
        keys.bytes += part.bytes;
        for (std::size_t i = 1; i < part.offsets.size(); ++i)
            keys.offsets.push_back(base + part.offsets[i]);
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
    if (IsNumericColumn(column)) {
        const int order = MakeKey(slot1, column, m_collator).compare(MakeKey(slot2, column, m_collator));
        return (order > 0) - (order < 0);
    }
    return m_collator.Compare(DecodeCell(slot1, column), DecodeCell(slot2, column));
}

std::vector<uint32_t> RowSorter::SortedOrder(int32_t column, int32_t mode)
{
    const bool byText = mode == kSortAscending || mode == kSortDescending;
    if ((mode != kSortFound && !byText) || (byText && (column < 0 || column >= kAllColumnCount)))
        return m_order;
    if (byText)
        PrepareSortKeys(column);

    // The sort compares entries, not rows: an entry holds the row's slot
    // and what its order depends on, so that comparing two rows touches
    // only their entries and, on a tie in the first eight key bytes, the
    // keys themselves. The order is that of CompareRows:
    //  - text: the collation keys byte by byte; `lead` holds the first eight
    //    bytes read big-endian (zero-padded), `key` the whole key;
    //  - found order: `lead` holds the insertion index.
    // Rows equal in that order keep their found order, so that a sort's
    // result does not depend on the order it started from.
    struct Entry {
        uint64_t lead;
        const char* key;
        uint32_t keyLength;
        uint32_t slot;
    };
    const std::size_t count = m_order.size();
    std::vector<Entry> entries(count);
    for (std::size_t position = 0; position < count; ++position) {
        const uint32_t slot = m_order[position];
        Entry& entry = entries[position];
        entry.slot = slot;
        if (byText) {
            const std::string_view key = Key(slot, column);
            uint64_t lead = 0;
            for (std::size_t i = 0; i < 8; ++i)
                lead = (lead << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
            entry.lead = lead;
            entry.key = key.data();
            entry.keyLength = static_cast<uint32_t>(key.size());
        } else {
            entry.lead = m_rows[slot].index;
            entry.key = nullptr;
            entry.keyLength = 0;
        }
    }

    const bool descending = mode == kSortDescending;
    const std::vector<ChartRow>& rows = m_rows;
    std::sort(entries.begin(), entries.end(), [&rows, descending](const Entry& a, const Entry& b) {
        int order = (a.lead > b.lead) - (a.lead < b.lead);
        if (order == 0 && (a.keyLength > 8 || b.keyLength > 8)) {
            const uint32_t common = std::min(a.keyLength, b.keyLength);
            if (common > 8)
                order = std::memcmp(a.key + 8, b.key + 8, common - 8);
            if (order == 0)
                order = (a.keyLength > b.keyLength) - (a.keyLength < b.keyLength);
        }
        if (order != 0)
            return descending ? order > 0 : order < 0;
        const uint32_t indexA = rows[a.slot].index, indexB = rows[b.slot].index;
        return indexA != indexB ? indexA < indexB : a.slot < b.slot;
    });

    std::vector<uint32_t> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = entries[i].slot;
    return order;
}

std::vector<uint32_t> RowSorter::MergedOrder(std::size_t sortedCount, int32_t column, int32_t mode)
{
    const bool byText = mode == kSortAscending || mode == kSortDescending;
    if (!byText || column < 0 || column >= kAllColumnCount || sortedCount >= m_order.size())
        return m_order;
    PrepareSortKeys(column);
    // The order of SortedOrder: the keys byte by byte, then found order.
    const bool descending = mode == kSortDescending;
    auto before = [this, column, descending](uint32_t slot1, uint32_t slot2) {
        const int order = Key(slot1, column).compare(Key(slot2, column));
        if (order != 0)
            return descending ? order > 0 : order < 0;
        const uint32_t index1 = m_rows[slot1].index, index2 = m_rows[slot2].index;
        return index1 != index2 ? index1 < index2 : slot1 < slot2;
    };
    const auto sortedEnd = m_order.begin() + static_cast<std::ptrdiff_t>(sortedCount);
    std::vector<uint32_t> added(sortedEnd, m_order.end());
    std::sort(added.begin(), added.end(), before);

    std::vector<uint32_t> order;
    order.reserve(m_order.size());
    auto from = m_order.begin();
    for (const uint32_t slot : added) {
        const auto place = std::upper_bound(from, sortedEnd, slot, before);
        order.insert(order.end(), from, place);
        order.push_back(slot);
        from = place;
    }
    order.insert(order.end(), from, sortedEnd);
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
}

}  // namespace tamboro
