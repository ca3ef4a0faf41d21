#include "tables/TableMatch.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <optional>

namespace tamboro {
namespace {

std::string Lowercase(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::optional<double> NumberOf(std::string_view level)
{
    double value = 0;
    const auto [end, error] = std::from_chars(level.data(), level.data() + level.size(), value);
    // "nan" and "inf" are levels of text: numbers that do not order would break the sort.
    if (error != std::errc() || end != level.data() + level.size() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

constexpr std::uint32_t kUnranked = UINT32_MAX;

// A level the table's order does not name, with its number when it is one.
struct UnorderedLevel {
    std::string_view text;
    std::optional<double> number;
};

// Numbers by value, then the rest by their bytes, an empty level last.
bool LevelBefore(const UnorderedLevel& a, const UnorderedLevel& b)
{
    if (a.text.empty() || b.text.empty())
        return !a.text.empty() && b.text.empty();
    if (a.number && b.number)
        return *a.number != *b.number ? *a.number < *b.number : a.text < b.text;
    if (a.number || b.number)
        return a.number.has_value();
    return a.text < b.text;
}

std::vector<const DifficultyTable*> AddressesOf(const std::vector<DifficultyTable>& tables)
{
    std::vector<const DifficultyTable*> addresses;
    for (const DifficultyTable& table : tables)
        addresses.push_back(&table);
    return addresses;
}

}  // namespace

void LibraryHashes::Add(std::string_view md5, std::string_view sha256)
{
    if (!md5.empty())
        m_md5.insert(Lowercase(md5));
    if (!sha256.empty())
        m_sha256.insert(Lowercase(sha256));
}

bool LibraryHashes::Holds(const TableEntry& entry) const
{
    if (!entry.md5.empty())
        return m_md5.contains(entry.md5);
    return !entry.sha256.empty() && m_sha256.contains(entry.sha256);
}

std::strong_ordering TableSortKey::operator<=>(const TableSortKey& other) const
{
    if (Empty() != other.Empty())
        return Empty() ? std::strong_ordering::greater : std::strong_ordering::less;
    return std::lexicographical_compare_three_way(m_places.begin(), m_places.end(), other.m_places.begin(),
                                                  other.m_places.end());
}

std::string TableSortKey::Bytes() const
{
    if (Empty())
        return std::string(1, '\xFF');
    std::string bytes;
    for (const std::uint64_t place : m_places) {
        for (int shift = 56; shift >= 0; shift -= 8)
            bytes += static_cast<char>((place >> shift) & 0xFF);
    }
    return bytes;
}

TableMatch::TableMatch(const std::vector<DifficultyTable>& tables) : TableMatch(AddressesOf(tables))
{}

TableMatch::TableMatch(std::vector<const DifficultyTable*> tables)
    : m_tables(std::move(tables)), m_levelRanks(m_tables.size())
{
    for (std::size_t t = 0; t < m_tables.size(); ++t) {
        const auto& entries = m_tables[t]->entries;
        for (std::size_t e = 0; e < entries.size(); ++e) {
            const Hit hit{static_cast<std::uint32_t>(t), static_cast<std::uint32_t>(e)};
            // Table entries keep lowercase hashes; one key each, md5 first.
            if (!entries[e].md5.empty())
                m_byMd5[entries[e].md5].push_back(hit);
            else if (!entries[e].sha256.empty())
                m_bySha256[entries[e].sha256].push_back(hit);
        }
        RankLevels(t);
    }
}

void TableMatch::RankLevels(std::size_t tableIndex)
{
    const DifficultyTable& table = *m_tables[tableIndex];
    auto& ranks = m_levelRanks[tableIndex];
    for (const std::string& level : table.levelOrder)
        ranks.emplace(level, static_cast<std::uint32_t>(ranks.size()));
    const auto ordered = static_cast<std::uint32_t>(ranks.size());
    // Each level met once, in one pass over the entries (a table may have as
    // many levels as entries), then ranked in place.
    std::vector<UnorderedLevel> unordered;
    for (const TableEntry& entry : table.entries)
        if (ranks.emplace(entry.level, kUnranked).second)
            unordered.push_back(UnorderedLevel{entry.level, NumberOf(entry.level)});
    std::sort(unordered.begin(), unordered.end(), LevelBefore);
    for (std::size_t i = 0; i < unordered.size(); ++i)
        ranks[unordered[i].text] = ordered + static_cast<std::uint32_t>(i);
}

std::uint32_t TableMatch::LevelRank(std::size_t tableIndex, const std::string& level) const
{
    const auto& ranks = m_levelRanks[tableIndex];
    const auto found = ranks.find(level);
    return found != ranks.end() ? found->second : static_cast<std::uint32_t>(ranks.size());
}

std::vector<TableMatch::Hit> TableMatch::HitsOf(std::string_view md5, std::string_view sha256) const
{
    std::vector<Hit> hits;
    auto collect = [&](const auto& map, std::string_view hash) {
        if (hash.empty())
            return;
        if (const auto found = map.find(Lowercase(hash)); found != map.end())
            hits.insert(hits.end(), found->second.begin(), found->second.end());
    };
    collect(m_byMd5, md5);
    collect(m_bySha256, sha256);
    std::sort(hits.begin(), hits.end(),
              [](Hit a, Hit b) { return a.table != b.table ? a.table < b.table : a.entry < b.entry; });
    return hits;
}

std::string TableMatch::ColumnText(std::string_view md5, std::string_view sha256) const
{
    std::string text;
    std::vector<std::string> tableTexts;
    std::uint32_t table = UINT32_MAX;
    for (const Hit hit : HitsOf(md5, sha256)) {
        if (hit.table != table)
            tableTexts.clear();
        table = hit.table;
        const DifficultyTable& holding = *m_tables[hit.table];
        std::string one = holding.symbol + holding.entries[hit.entry].level;
        if (std::find(tableTexts.begin(), tableTexts.end(), one) != tableTexts.end())
            continue;
        if (!text.empty())
            text += ' ';
        text += one;
        tableTexts.push_back(std::move(one));
    }
    return text;
}

TableSortKey TableMatch::SortKey(std::string_view md5, std::string_view sha256) const
{
    std::vector<std::uint64_t> places;
    for (const Hit hit : HitsOf(md5, sha256)) {
        const auto& level = m_tables[hit.table]->entries[hit.entry].level;
        const std::uint64_t rank = m_levelRanks[hit.table].at(level);
        places.push_back(std::uint64_t{hit.table} << 32 | rank);
    }
    // By table, and within a table from the lowest level.
    std::sort(places.begin(), places.end());
    return TableSortKey(std::move(places));
}

std::vector<const TableEntry*> TableMatch::MissingEntries(std::size_t tableIndex, const LibraryHashes& library) const
{
    std::vector<const TableEntry*> missing;
    for (const TableEntry& entry : m_tables.at(tableIndex)->entries)
        if (!library.Holds(entry))
            missing.push_back(&entry);
    return missing;
}

}  // namespace tamboro
