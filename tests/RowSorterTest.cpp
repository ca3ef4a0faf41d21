// Sorting of the result rows: orders, found order, and the
// command line's --sort.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "platform/Collator.h"
#include "platform/TextDecoder.h"
#include "results/RowSorter.h"
#include "tests/support/MakeRow.h"
#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

// Shift-JIS (windows-31j) bytes of some Japanese titles.
const std::string kSjisA = "\x83\x41";              // ア
const std::string kSjisHiraA = "\x82\xA0";          // あ
const std::string kSjisHalfI = "\xB2";              // ｲ (half-width)
const std::string kSjisKa = "\x83\x4A";             // カ
const std::string kSjisHiraKa = "\x82\xA9";         // か
const std::string kSjisSa = "\x83\x54";             // サ
const std::string kSjisKanji = "\x8A\xBF\x8E\x9A";  // 漢字

ChartRow MakeRow(std::string folder, std::string title, uint32_t index, std::string genre = "g",
                 std::string artist = "a")
{
    return test::MakeRow(std::move(folder), std::move(genre), std::move(title), std::move(artist), index);
}

// Appends one batch of rows with the given titles, numbered on from the
// rows already there, as the scan numbers them.
void AppendTitles(RowSorter& sorter, const std::vector<std::string>& titles, const std::string& folder = "/lib/")
{
    std::vector<ChartRow> batch;
    for (const std::string& title : titles)
        batch.push_back(MakeRow(folder, title, static_cast<uint32_t>(sorter.Size() + batch.size())));
    sorter.Append(batch);
    EXPECT_TRUE(batch.empty());
}

std::vector<std::string> CellsOf(const RowSorter& sorter, int32_t column)
{
    std::vector<std::string> out;
    for (std::size_t p = 0; p < sorter.Size(); ++p)
        out.push_back(ColumnBytes(sorter.At(p), column));
    return out;
}

std::vector<uint32_t> Indexes(const RowSorter& sorter)
{
    std::vector<uint32_t> out;
    for (std::size_t p = 0; p < sorter.Size(); ++p)
        out.push_back(sorter.At(p).index);
    return out;
}

// The order names every row once: each slot at exactly one position.
void ExpectEveryRowOnce(const RowSorter& sorter)
{
    std::vector<bool> seen(sorter.Size());
    for (std::size_t p = 0; p < sorter.Size(); ++p) {
        const uint32_t slot = sorter.SlotAt(p);
        ASSERT_LT(slot, seen.size()) << "position " << p;
        ASSERT_FALSE(seen[slot]) << "position " << p;
        seen[slot] = true;
    }
}

// Adjacent rows are in collator order (or its reverse) of the column text,
// and rows with equal text in found order.
void ExpectSortedByText(const RowSorter& sorter, const Collator& collator, int32_t column, bool descending)
{
    const SortParams params{&sorter, column, descending ? kSortDescending : kSortAscending};
    for (std::size_t p = 1; p < sorter.Size(); ++p) {
        ASSERT_LE(CompareRows(static_cast<uint32_t>(p - 1), static_cast<uint32_t>(p), params), 0) << p;
        const uint32_t before = sorter.SlotAt(p - 1), after = sorter.SlotAt(p);
        int order = collator.Compare(sorter.DecodeCell(before, column), sorter.DecodeCell(after, column));
        if (descending)
            order = -order;
        ASSERT_LE(order, 0) << "positions " << p - 1 << ", " << p;
        if (order == 0) {
            ASSERT_LT(sorter.At(p - 1).index, sorter.At(p).index) << "positions " << p - 1 << ", " << p;
        }
    }
}

TEST(RowSorterKeys, ThreeRowsSortedBackwardsAndRestored)
{
    RowSorter sorter{Collator("")};
    AppendTitles(sorter, {"A", "B", "C"});
    EXPECT_EQ(Indexes(sorter), (std::vector<uint32_t>{0, 1, 2}));

    sorter.Sort(kColumnTitle, kSortDescending);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"C", "B", "A"}));
    EXPECT_EQ(Indexes(sorter), (std::vector<uint32_t>{2, 1, 0}));

    sorter.Sort(kColumnTitle, kSortFound);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(Indexes(sorter), (std::vector<uint32_t>{0, 1, 2}));
}

TEST(RowSorterKeys, FoundOrderComesBackExactlyForSeventyThousandRows)
{
    // Found order comes back exactly beyond the 65,535 rows that 16 bits
    // could count.
    constexpr uint32_t kRows = 70000;
    std::mt19937 random(7);
    RowSorter sorter{Collator("en_US")};
    std::vector<ChartRow> batch;
    for (uint32_t i = 0; i < kRows; ++i) {
        // Few distinct values, so that most rows tie with many others.
        const std::string title = std::string(1, static_cast<char>('a' + random() % 5)) + std::to_string(random() % 7);
        const std::string folder = "/lib/f" + std::to_string(i / 12) + "/";
        batch.push_back(
            MakeRow(folder, title, i, "genre" + std::to_string(random() % 3), (random() % 2 ? "Artist" : "artist")));
        if (batch.size() == 12)
            sorter.Append(batch);
    }
    sorter.Append(batch);
    ASSERT_EQ(sorter.Size(), kRows);

    const std::pair<int32_t, int32_t> sorts[] = {
        {kColumnTitle, kSortAscending},   {kColumnTitle, kSortDescending}, {kColumnArtist, kSortAscending},
        {kColumnFolder, kSortDescending}, {kColumnGenre, kSortAscending},  {kColumnTitle, kSortAscending},
    };
    for (const auto& [column, mode] : sorts) {
        sorter.Sort(column, mode);
        ExpectEveryRowOnce(sorter);
        ExpectSortedByText(sorter, Collator("en_US"), column, mode == kSortDescending);
        if (HasFatalFailure())
            return;
    }
    EXPECT_NE(Indexes(sorter)[0], 0u);

    sorter.Sort(kColumnTitle, kSortFound);
    const std::vector<uint32_t> indexes = Indexes(sorter);
    for (uint32_t i = 0; i < kRows; ++i)
        ASSERT_EQ(indexes[i], i);
}

TEST(RowSorterKeys, FoundOrderGoesByTheFullIndex)
{
    // Rows 5 and 65541 agree in their low 16 bits; CompareRows must still
    // tell them apart.
    RowSorter sorter{Collator("")};
    std::vector<ChartRow> batch;
    batch.push_back(MakeRow("/l/", "x", 65541));
    batch.push_back(MakeRow("/l/", "y", 5));
    sorter.Append(batch);
    const SortParams params{&sorter, kColumnTitle, kSortFound};
    EXPECT_GT(CompareRows(0, 1, params), 0);
    EXPECT_LT(CompareRows(1, 0, params), 0);
    sorter.Sort(kColumnTitle, kSortFound);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"y", "x"}));
}

TEST(RowSorterText, JapaneseShiftJisTitlesInCollatorOrderNotByteOrder)
{
    const std::vector<std::string> titles = {kSjisKanji, kSjisSa, kSjisHiraKa, kSjisHalfI, kSjisA, "Zz", "ab"};
    ASSERT_EQ(DecodeFieldToUtf16(kSjisKanji), u"漢字");  // the test's bytes are what they claim
    ASSERT_EQ(DecodeFieldToUtf16(kSjisHalfI), u"ｲ");

    RowSorter sorter{Collator("ja")};
    AppendTitles(sorter, titles);
    sorter.Sort(kColumnTitle, kSortAscending);
    // Japanese collation: Latin first, then kana by sound whatever their
    // script or width, then kanji. By bytes it would be
    // ab Zz か ア サ 漢字 ｲ ("Zz" < "ab" too).
    const std::vector<std::string> expected = {"ab", "Zz", kSjisA, kSjisHalfI, kSjisHiraKa, kSjisSa, kSjisKanji};
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), expected);

    sorter.Sort(kColumnTitle, kSortDescending);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), std::vector<std::string>(expected.rbegin(), expected.rend()));
}

TEST(RowSorterText, LatinTitlesLinguisticCaseSensitive)
{
    RowSorter sorter{Collator("")};
    AppendTitles(sorter, {"Zebra", "b", "apple", "B", "\xC3\xA4pfel", "A", "a"});  // "äpfel" in UTF-8
    sorter.Sort(kColumnTitle, kSortAscending);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle),
              (std::vector<std::string>{"a", "A", "\xC3\xA4pfel", "apple", "b", "B", "Zebra"}));
}

TEST(RowSorterText, SameTextInDifferentCharsetsSortsAsEqual)
{
    // "あ" once as Shift-JIS and once as UTF-8: equal text, so found order
    // decides between them, in both directions.
    RowSorter sorter{Collator("ja")};
    AppendTitles(sorter, {"\xE3\x81\x8B", kSjisHiraA, "\xE3\x81\x82"});  // か (UTF-8), あ (SJIS), あ (UTF-8)
    sorter.Sort(kColumnTitle, kSortAscending);
    EXPECT_EQ(Indexes(sorter), (std::vector<uint32_t>{1, 2, 0}));
    sorter.Sort(kColumnTitle, kSortDescending);
    EXPECT_EQ(Indexes(sorter), (std::vector<uint32_t>{0, 1, 2}));
}

TEST(RowSorterText, LongSharedPrefixesStillSortedByWholeText)
{
    // Titles that agree in their first characters: the sort cannot decide
    // on the start of the key alone.
    std::mt19937 random(11);
    std::vector<std::string> titles;
    const char* prefixes[] = {"Ultimate Chart Title ", "ultimate chart title ", "Ultimate Chart Title [", ""};
    for (int i = 0; i < 3000; ++i) {
        std::string title = prefixes[random() % 4];
        for (unsigned n = random() % 4; n > 0; --n)
            title += static_cast<char>("aAbB -"[random() % 6]);
        if (random() % 5 == 0)
            title += random() % 2 ? kSjisHiraKa : kSjisKa;  // mixes in Shift-JIS rows
        titles.push_back(title);
    }
    RowSorter sorter{Collator("en_US")};
    AppendTitles(sorter, titles);

    // Before any sort the comparison decodes and collates; afterwards it
    // reads the stored keys. Both must agree.
    std::vector<int> before;
    for (uint32_t i = 0; i + 1 < titles.size(); ++i)
        before.push_back(CompareRows(i, i + 1, {&sorter, kColumnTitle, kSortAscending}));
    sorter.PrepareSortKeys(kColumnTitle);
    ASSERT_EQ(sorter.SortKeysReady(kColumnTitle), titles.size());
    for (uint32_t i = 0; i + 1 < titles.size(); ++i) {
        ASSERT_EQ(CompareRows(i, i + 1, {&sorter, kColumnTitle, kSortAscending}), before[i]) << i;
        ASSERT_EQ(CompareRows(i, i + 1, {&sorter, kColumnTitle, kSortDescending}), -before[i]) << i;
    }

    sorter.Sort(kColumnTitle, kSortAscending);
    ExpectSortedByText(sorter, Collator("en_US"), kColumnTitle, false);
    sorter.Sort(kColumnTitle, kSortDescending);
    ExpectSortedByText(sorter, Collator("en_US"), kColumnTitle, true);
}

TEST(RowSorterText, FolderColumnSortsByDecodedPath)
{
    // Folder names decoded one component at a time: UTF-8 and Shift-JIS
    // components in one path. By bytes, Shift-JIS カ (83 4A) would come
    // before UTF-8 あ (E3 81 82).
    RowSorter sorter{Collator("ja")};
    const std::string hiraA = "\xE3\x81\x82";
    const std::vector<std::string> folders = {"/r/" + kSjisKa + "/", "/r/" + hiraA + "/" + kSjisA + "/", "/r/b/",
                                              "/r/" + hiraA + "/", "/r/A/"};
    for (const std::string& folder : folders) {
        std::vector<ChartRow> batch{MakeRow(folder, "t", static_cast<uint32_t>(sorter.Size()))};
        sorter.Append(batch);
    }
    ASSERT_EQ(sorter.DecodeCell(1, kColumnFolder), u"/r/あ/ア/");
    sorter.Sort(kColumnFolder, kSortAscending);
    EXPECT_EQ(CellsOf(sorter, kColumnFolder),
              (std::vector<std::string>{"/r/A/", "/r/b/", "/r/" + hiraA + "/", "/r/" + hiraA + "/" + kSjisA + "/",
                                        "/r/" + kSjisKa + "/"}));
}

TEST(RowSorterCycle, HeaderClicksCycleModesAndSuffixes)
{
    HeaderClick click = NextHeaderClick(std::nullopt, kSortFound, kColumnTitle);
    EXPECT_FALSE(click.restoreColumn.has_value());
    EXPECT_EQ(click.column, kColumnTitle);
    EXPECT_EQ(click.mode, kSortAscending);
    EXPECT_STREQ(SortSuffix(click.mode), "(Alphabetic)");

    click = NextHeaderClick(click.column, click.mode, kColumnTitle);
    EXPECT_EQ(click.mode, kSortDescending);
    EXPECT_STREQ(SortSuffix(click.mode), "(Reverse)");
    click = NextHeaderClick(click.column, click.mode, kColumnTitle);
    EXPECT_EQ(click.mode, kSortFound);
    EXPECT_STREQ(SortSuffix(click.mode), " ");
    click = NextHeaderClick(click.column, click.mode, kColumnTitle);
    EXPECT_EQ(click.mode, kSortAscending);
    EXPECT_FALSE(click.restoreColumn.has_value());

    // Another column: the old one gets its plain title back, the new one
    // starts ascending whatever the old mode was.
    click = NextHeaderClick(kColumnTitle, kSortDescending, kColumnFolder);
    EXPECT_EQ(click.restoreColumn, std::optional<ListColumn>(kColumnTitle));
    EXPECT_EQ(click.column, kColumnFolder);
    EXPECT_EQ(click.mode, kSortAscending);

    // After a new search the mode is 0 but the column is kept: a click on
    // that column sorts ascending (0 -> 1), as on any other column.
    click = NextHeaderClick(kColumnFolder, kSortFound, kColumnFolder);
    EXPECT_EQ(click.mode, kSortAscending);
}

TEST(RowSorterAppend, RowsAddedAfterASortGoToTheEndAndJoinTheNextSort)
{
    RowSorter sorter{Collator("")};
    AppendTitles(sorter, {"c", "a", "e"});
    sorter.Sort(kColumnTitle, kSortDescending);
    EXPECT_EQ(sorter.SortKeysReady(kColumnTitle), 3u);

    AppendTitles(sorter, {"b", "d"});  // a running scan adds a folder
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"e", "c", "a", "b", "d"}));
    EXPECT_EQ(sorter.At(3).index, 3u);
    EXPECT_EQ(sorter.At(4).index, 4u);
    EXPECT_EQ(sorter.SortKeysReady(kColumnTitle), 3u);  // keys come at the next sort

    sorter.Sort(kColumnTitle, kSortAscending);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
    EXPECT_EQ(sorter.SortKeysReady(kColumnTitle), 5u);
    ExpectEveryRowOnce(sorter);
    sorter.Sort(kColumnTitle, kSortFound);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"c", "a", "e", "b", "d"}));
}

// Batches merged into a sorted list give exactly what sorting them all
// gives, equal titles (many, in upper and lower case) in found order.
TEST(RowSorterAppend, MergedBatchesEqualAFullSort)
{
    std::mt19937 random(7);
    for (const int32_t mode : {kSortAscending, kSortDescending}) {
        RowSorter merged{Collator("")};
        RowSorter whole{Collator("")};
        for (int batch = 0; batch < 40; ++batch) {
            std::vector<std::string> titles;
            for (unsigned n = random() % 30; n > 0; --n)
                titles.push_back(std::string(1, "aAbBc"[random() % 5]) + std::to_string(random() % 4));
            AppendTitles(merged, titles);
            AppendTitles(whole, titles);
            const std::size_t sorted = batch == 0 ? 0 : merged.Size() - titles.size();
            merged.ApplyOrder(merged.MergedOrder(sorted, kColumnTitle, mode));
        }
        EXPECT_EQ(merged.Order(), whole.SortedOrder(kColumnTitle, mode));
        ExpectEveryRowOnce(merged);
    }
}

TEST(RowSorterAppend, RowsAddedBetweenComputingAndApplyingAnOrderStayAtTheEnd)
{
    RowSorter sorter{Collator("")};
    AppendTitles(sorter, {"b", "a"});
    std::vector<uint32_t> order = sorter.SortedOrder(kColumnTitle, kSortAscending);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"b", "a"}));  // nothing moved yet
    AppendTitles(sorter, {"0"});
    sorter.ApplyOrder(std::move(order));
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"a", "b", "0"}));
    ExpectEveryRowOnce(sorter);
}

TEST(RowSorterAppend, ClearForgetsRowsAndKeys)
{
    RowSorter sorter{Collator("")};
    AppendTitles(sorter, {"z", "y", "x"});
    sorter.Sort(kColumnTitle, kSortAscending);
    sorter.Clear();
    EXPECT_EQ(sorter.Size(), 0u);
    EXPECT_EQ(sorter.SortKeysReady(kColumnTitle), 0u);

    // New rows in the same slots, with the opposite order: stale keys would
    // keep the old order.
    AppendTitles(sorter, {"a", "b", "c"});
    sorter.Sort(kColumnTitle, kSortDescending);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"c", "b", "a"}));
}

TEST(RowSorterAppend, UnknownColumnOrModeKeepsTheOrder)
{
    RowSorter sorter{Collator("")};
    AppendTitles(sorter, {"b", "a"});
    sorter.Sort(kColumnCount, kSortAscending);
    sorter.Sort(-1, kSortDescending);
    sorter.Sort(kColumnTitle, 3);
    EXPECT_EQ(CellsOf(sorter, kColumnTitle), (std::vector<std::string>{"b", "a"}));
}

// --- tamboro-scan --sort ---------------------------------------------------

struct RunResult {
    int status = -1;
    std::string out;
};

RunResult RunScan(const std::string& arguments)
{
    const std::string command =
        std::string("LC_ALL=ja_JP.UTF-8 '") + TAMBORO_SCAN_PATH + "' " + arguments + " 2>/dev/null";
    RunResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.out.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::vector<std::string> Field(const std::string& out, int field)
{
    std::vector<std::string> values;
    std::size_t start = 0;
    while (start < out.size()) {
        const std::size_t end = out.find('\n', start);
        std::string line = out.substr(start, end - start);
        start = end == std::string::npos ? out.size() : end + 1;
        for (int i = 0; i < field; ++i)
            line.erase(0, line.find('\t') + 1);
        values.push_back(line.substr(0, line.find('\t')));
    }
    return values;
}

class ScanSortCommand : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_tree.WriteChart("x/1.bms", "g", "banana", "p");
        m_tree.WriteChart("x/2.bms", "g", "Apple", "q");
        m_tree.WriteChart("y/3.bms", "g", kSjisKa, "r");
        m_tree.WriteChart("y/4.bms", "g", kSjisHiraA, "s");
        m_tree.WriteChart("5.bms", "g", "apple", "t");
        m_tree.WriteChart("z/6.bms", "g", kSjisSa, "u");
    }
    std::string Root() const { return "'" + m_tree.Root() + "'"; }

    test::TestTree m_tree;
};

TEST_F(ScanSortCommand, SortsByTitleAscendingAndReverse)
{
    const std::vector<std::string> ascending = {"apple", "Apple", "banana", "あ", "カ", "サ"};
    RunResult run = RunScan("--sort title " + Root());
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(Field(run.out, 2), ascending);

    run = RunScan("--reverse --sort=title " + Root());
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(Field(run.out, 2), std::vector<std::string>(ascending.rbegin(), ascending.rend()));
}

TEST_F(ScanSortCommand, SortsByFolder)
{
    const RunResult run = RunScan("--sort folder " + Root());
    ASSERT_EQ(run.status, 0);
    const std::string root = m_tree.Root() + "/";
    EXPECT_EQ(Field(run.out, 0),
              (std::vector<std::string>{root, root + "x/", root + "x/", root + "y/", root + "y/", root + "z/"}));
}

TEST_F(ScanSortCommand, UsageErrors)
{
    EXPECT_EQ(RunScan("--reverse " + Root()).status, 2);
    EXPECT_EQ(RunScan("--sort size " + Root()).status, 2);
    EXPECT_EQ(RunScan(Root() + " --sort").status, 2);
    EXPECT_EQ(RunScan("--sort artist --reverse " + Root()).status, 0);
}

}  // namespace
}  // namespace tamboro
