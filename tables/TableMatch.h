// Charts against tables, by hash: the table column of a chart, its sort key,
// and the entries of a table that no chart of the library matches.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "tables/DifficultyTable.h"

namespace tamboro {

// The hashes of the charts a library holds, lowercase.
class LibraryHashes {
public:
    // Either may be empty; any letter case.
    void Add(std::string_view md5, std::string_view sha256);
    // Whether a chart of the library has the entry's hash (its md5 when it
    // has one, else its sha256).
    bool Holds(const TableEntry& entry) const;

private:
    std::unordered_set<std::string> m_md5;
    std::unordered_set<std::string> m_sha256;
};

// Orders charts by the tables holding them: by the first table (in the
// order given), then by the level there, then by the next table; a chart in
// no table after every other.
class TableSortKey {
public:
    TableSortKey() = default;
    explicit TableSortKey(std::vector<std::uint64_t> places) : m_places(std::move(places)) {}
    bool Empty() const { return m_places.empty(); }
    // The key as bytes that compare (as unsigned bytes, shorter first on a
    // common start) in the key's order: each place big-endian, and a chart
    // in no table as one 0xFF byte, after every other.
    std::string Bytes() const;
    std::strong_ordering operator<=>(const TableSortKey& other) const;
    bool operator==(const TableSortKey& other) const = default;

private:
    // Per matching entry: the table's index in the high half, the level's
    // rank in that table in the low half; ascending.
    std::vector<std::uint64_t> m_places;
};

// An entry no chart matches, with the place of its level among its table's
// levels (TableMatch::LevelRank).
struct MissingEntry {
    TableEntry entry;
    std::uint32_t levelRank = 0;
};

class TableMatch {
public:
    // Keeps pointers to the tables, which must outlive the match. Building
    // takes time in proportion to the entries (n log n in their levels).
    explicit TableMatch(const std::vector<DifficultyTable>& tables);
    explicit TableMatch(std::vector<const DifficultyTable*> tables);

    // The table column of a chart: symbol and level of every entry holding
    // it, by table in the order given and by entry in the table's order,
    // joined by one space; the same text twice from one table once.
    std::string ColumnText(std::string_view md5, std::string_view sha256) const;
    TableSortKey SortKey(std::string_view md5, std::string_view sha256) const;

    // The entries of tables[tableIndex] no chart of `library` matches, in the
    // table's order.
    std::vector<const TableEntry*> MissingEntries(std::size_t tableIndex, const LibraryHashes& library) const;
    // The place of `level` among the levels of tables[tableIndex]: the
    // table's level order first, then the others, numbers by value before
    // text, an empty level last; a level no entry has comes after all.
    std::uint32_t LevelRank(std::size_t tableIndex, const std::string& level) const;

private:
    struct Hit {
        std::uint32_t table;
        std::uint32_t entry;
    };
    std::vector<Hit> HitsOf(std::string_view md5, std::string_view sha256) const;
    void RankLevels(std::size_t tableIndex);

    const std::vector<const DifficultyTable*> m_tables;
    std::unordered_map<std::string, std::vector<Hit>> m_byMd5;
    std::unordered_map<std::string, std::vector<Hit>> m_bySha256;
    // Per table: each level's rank among the table's levels, keyed by the
    // table's own texts.
    std::vector<std::unordered_map<std::string_view, std::uint32_t>> m_levelRanks;
};

}  // namespace tamboro
