// Charts matched against tables: the column's text, its order, the missing
// lists.
#include <gtest/gtest.h>

#include <algorithm>

#include "tables/TableMatch.h"

namespace tamboro {
namespace {

std::string Hash(char c, std::size_t length = 32)
{
    return std::string(length, c);
}

TableEntry Entry(std::string level, std::string md5, std::string sha256 = {})
{
    TableEntry entry;
    entry.level = std::move(level);
    entry.md5 = std::move(md5);
    entry.sha256 = std::move(sha256);
    return entry;
}

std::vector<DifficultyTable> Tables()
{
    DifficultyTable insane{"i", "Insane", "★", {}, {}};
    insane.entries = {Entry("12", Hash('a')), Entry("3", Hash('b')),   Entry("12", Hash('a')),
                      Entry("?", Hash('c')),  Entry("nan", Hash('9')), Entry("25", Hash('a'))};
    DifficultyTable normal{"n", "Normal", "☆", {"X", "1", "0"}, {}};
    normal.entries = {Entry("0", Hash('a')), Entry("X", "", Hash('d', 64)), Entry("1", Hash('e')),
                      Entry("10", Hash('b'))};
    return {insane, normal};
}

TEST(TableMatch, ColumnTextFollowsTablesThenEntries)
{
    const auto tables = Tables();
    const TableMatch match(tables);
    EXPECT_EQ(match.ColumnText(Hash('A'), ""), "★12 ★25 ☆0");
    EXPECT_EQ(match.ColumnText(Hash('b'), Hash('z', 64)), "★3 ☆10");
    EXPECT_EQ(match.ColumnText("", Hash('D', 64)), "☆X");
    // An md5-keyed entry is not matched by a sha256 of the same letters.
    EXPECT_EQ(match.ColumnText("", Hash('a', 32)), "");
    EXPECT_EQ(match.ColumnText(Hash('f'), ""), "");
}

TEST(TableMatch, SortKeyOrdersByTableThenLevelRankThenNothingLast)
{
    const auto tables = Tables();
    const TableMatch match(tables);
    // Insane has no level order: numbers by value, then "?" by text.
    const std::vector<std::pair<std::string, std::string>> charts = {
        {Hash('f'), ""}, {Hash('c'), ""}, {Hash('a'), ""}, {"", Hash('d', 64)}, {Hash('e'), ""}, {Hash('b'), ""}};
    std::vector<std::pair<TableSortKey, std::string>> keyed;
    for (const auto& [md5, sha256] : charts)
        keyed.emplace_back(match.SortKey(md5, sha256), md5.empty() ? "d" : md5.substr(0, 1));
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
    std::string order;
    for (const auto& item : keyed)
        order += item.second;
    // b (★3) before a (★12) before c (★?); then Normal's order X, 1: d, e; f in none.
    EXPECT_EQ(order, "bacdef");
    EXPECT_TRUE(match.SortKey(Hash('f'), "").Empty());
}

TEST(TableMatch, MissingEntriesAreThoseNoChartHolds)
{
    const auto tables = Tables();
    const TableMatch match(tables);
    LibraryHashes library;
    library.Add(Hash('A'), "");
    library.Add("", Hash('D', 64));
    library.Add(Hash('e'), Hash('d', 64));
    const auto missing = match.MissingEntries(1, library);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0], &tables[1].entries[3]);
    EXPECT_EQ(match.MissingEntries(0, LibraryHashes()).size(), 6u);
}

// An entry without a level ranks after every level; one without a hash is
// missing whatever the library holds.
TEST(TableMatch, EmptyLevelLastAndEntriesWithoutHashMissing)
{
    DifficultyTable table{"t", "T", "▼", {}, {}};
    table.entries = {Entry("", Hash('a')), Entry("x", ""), Entry("2", Hash('b')), Entry("10", Hash('c'))};
    const std::vector<DifficultyTable> tables{table};
    const TableMatch match(tables);
    EXPECT_LT(match.LevelRank(0, "x"), match.LevelRank(0, ""));
    EXPECT_LT(match.LevelRank(0, "2"), match.LevelRank(0, "10"));
    EXPECT_LT(match.SortKey(Hash('c'), ""), match.SortKey(Hash('a'), ""));
    EXPECT_EQ(match.ColumnText(Hash('a'), ""), "▼");
    LibraryHashes library;
    for (const char c : {'a', 'b', 'c'})
        library.Add(Hash(c), Hash(c, 64));
    const auto missing = match.MissingEntries(0, library);
    ASSERT_EQ(missing.size(), 1u);
    EXPECT_EQ(missing[0], &tables[0].entries[1]);
}

}  // namespace
}  // namespace tamboro
