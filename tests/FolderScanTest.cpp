#include <atomic>
#include <gtest/gtest.h>

#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "search/FolderScan.h"
#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

using test::CollectingSink;
using test::TestTree;

struct Found {
    std::string folder, title;
    uint32_t index;
    bool operator==(const Found&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Found& f)
{
    return out << "(" << f.folder << ", " << f.title << ", " << f.index << ")";
}

std::vector<Found> FoundOf(const CollectingSink& sink)
{
    std::vector<Found> found;
    for (const ChartRow& row : sink.rows)
        found.push_back({row.folder, row.Title(), row.index});
    return found;
}

// The names of a folder in the order the file system lists them.
std::vector<std::string> ListingOrder(const std::string& path)
{
    std::vector<std::string> names;
    DIR* dir = ::opendir(path.c_str());
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    return names;
}

TEST(FolderScan, SubfoldersComeFirstThenTheFoldersOwnCharts)
{
    TestTree tree;
    tree.WriteChart("a.bms", "g", "A", "x");
    tree.WriteChart("S/b.bms", "g", "B", "x");
    tree.WriteChart("S/T/c.bms", "g", "C", "x");
    tree.WriteFile("S/T/keysound.wav", "RIFF");
    tree.WriteChart("S/T/other.bme", "g", "not a bms", "x");
    CollectingSink sink;
    FolderScan scan(sink);
    ASSERT_EQ(scan.Run(tree.Root()), 0);
    const std::string r = tree.Root() + "/";
    EXPECT_EQ(FoundOf(sink), (std::vector<Found>{
                                 {r + "S/T/", "C", 0},
                                 {r + "S/", "B", 1},
                                 {r, "A", 2},
                             }));
    EXPECT_EQ(sink.titles, (std::vector<std::string>{
                               "Tamboro - 1 [" + r + "S/T/]",
                               "Tamboro - 2 [" + r + "S/]",
                               "Tamboro - 3 [" + r + "]",
                           }));
    EXPECT_EQ(sink.rows[2].Genre(), "g");
    EXPECT_EQ(sink.rows[2].Artist(), "x");
}

TEST(FolderScan, SiblingsFollowTheFileSystemsOrderAndChartNamesIgnoreCase)
{
    TestTree tree;
    for (const char* name : {"one", "two", "three", "four", "five"})
        tree.WriteChart(std::string(name) + "/x.bms", "", name, "");
    for (const char* name : {"a.bms", "B.BMS", "c.Bms", "d.bmsx", "e.bm", "bms", ".bms"})
        tree.WriteChart(name, "", name, "");
    CollectingSink sink;
    FolderScan scan(sink);
    ASSERT_EQ(scan.Run(tree.Root() + "/"), 0);

    std::vector<std::string> expected;
    std::vector<std::string> charts;
    for (const std::string& name : ListingOrder(tree.Root())) {
        if (std::filesystem::is_directory(tree.Path(name)))
            expected.push_back(name);
        else if (name != "d.bmsx" && name != "e.bm" && name != "bms")
            charts.push_back(name);
    }
    expected.insert(expected.end(), charts.begin(), charts.end());
    std::vector<std::string> titles;
    for (const ChartRow& row : sink.rows)
        titles.push_back(row.Title());
    EXPECT_EQ(titles, expected);
    // The charts of one folder arrive in one batch.
    EXPECT_EQ(sink.batchSizes, (std::vector<int>{1, 1, 1, 1, 1, 4}));
}

TEST(FolderScan, BothFormsOfTheRootGiveTheSameRows)
{
    TestTree tree;
    tree.WriteChart("bms/a/b/x.bms", "g", "deep", "a");
    tree.WriteChart("bms/top.bms", "g", "top", "a");
    CollectingSink withoutSlash, withSlash;
    FolderScan(withoutSlash).Run(tree.Path("bms"));
    FolderScan(withSlash).Run(tree.Path("bms/"));
    EXPECT_EQ(FoundOf(withoutSlash), FoundOf(withSlash));
    ASSERT_EQ(withSlash.rows.size(), 2u);
    EXPECT_EQ(withSlash.rows[0].folder, tree.Path("bms/a/b/"));
    EXPECT_EQ(withSlash.rows[1].folder, tree.Path("bms/"));
    EXPECT_EQ(withSlash.titles.back(), "Tamboro - 2 [" + tree.Path("bms/") + "]");
}

TEST(FolderScan, EmptyMissingAndFileRootsListNothing)
{
    TestTree tree;
    tree.WriteChart("file.bms", "g", "t", "a");
    for (const std::string& root : {std::string(), tree.Path("missing"), tree.Path("file.bms")}) {
        CollectingSink sink;
        EXPECT_NE(FolderScan(sink).Run(root), 0) << root;
        EXPECT_TRUE(sink.rows.empty());
        EXPECT_TRUE(sink.titles.empty());
    }
}

TEST(FolderScan, ShiftJisFolderNamesKeepTheirBytes)
{
    TestTree tree;
    const std::string so = "\x83\x5C";                        // ソ: second byte is '\'
    const std::string sjisName = "\x83\x5C\x83\x69\x83\x5C";  // ソナソ
    tree.WriteChart(so + "/a.bms", "g", "so", "a");
    tree.WriteChart(sjisName + "/b.bms", "g", "sonaso", "a");
    CollectingSink sink;
    FolderScan(sink).Run(tree.Root());
    ASSERT_EQ(sink.rows.size(), 2u);
    for (const ChartRow& row : sink.rows) {
        const std::string expected = row.Title() == "so" ? so : sjisName;
        EXPECT_EQ(row.folder, tree.Root() + "/" + expected + "/");
    }
}

TEST(FolderScan, RowLimitSkipsChartPassesButStillWalksAndTitles)
{
    TestTree tree;
    tree.WriteChart("deep/a.bms", "", "1", "");
    tree.WriteChart("deep/b.bms", "", "2", "");
    tree.WriteChart("deep/c.bms", "", "3", "");
    tree.WriteChart("deep/more/x.bms", "", "first", "");
    tree.WriteChart("top.bms", "", "top", "");
    CollectingSink sink;
    // The limit is tested once per folder: "deep" starts below it and lists
    // all three, passing it; the root's chart pass is skipped.
    FolderScan scan(sink, {.rowLimit = 2});
    scan.Run(tree.Root());
    std::vector<std::string> titles;
    for (const ChartRow& row : sink.rows)
        titles.push_back(row.Title());
    ASSERT_EQ(titles.size(), 4u);
    EXPECT_EQ(titles[0], "first");
    EXPECT_EQ(sink.titles.size(), 3u);
    EXPECT_EQ(sink.titles.back(), "Tamboro - 4 [" + tree.Root() + "/]");

    CollectingSink limited;
    FolderScan(limited, {.rowLimit = 1}).Run(tree.Root());
    ASSERT_EQ(limited.rows.size(), 1u);  // "more" lists x; "deep" and the root do not
    EXPECT_EQ(limited.titles.size(), 3u);
}

TEST(FolderScan, IndexesCountPastSixteenBits)
{
    TestTree tree;
    tree.MakeFolder("many");
    for (int i = 0; i < 70000; ++i)
        tree.WriteFile("many/" + std::to_string(i) + ".bms", "");
    CollectingSink sink;
    FolderScan(sink).Run(tree.Root());
    ASSERT_EQ(sink.rows.size(), 70000u);
    for (uint32_t i = 0; i < sink.rows.size(); ++i)
        ASSERT_EQ(sink.rows[i].index, i);
}

// Stops the scan when a given folder is entered.
class StoppingSink : public CollectingSink {
public:
    StoppingSink(StateWord word, std::string stopAt) : m_word(word), m_stopAt(std::move(stopAt)) {}
    void FolderEntered(const std::string& folder) override
    {
        if (folder.ends_with(m_stopAt))
            m_word.Store(SS_STOP);
    }

private:
    StateWord m_word;
    std::string m_stopAt;
};

TEST(FolderScan, StopStillListsTheChartsOfTheOpenFolders)
{
    TestTree tree;
    tree.WriteChart("r.bms", "", "root chart", "");
    tree.WriteChart("A/a.bms", "", "A chart", "");
    tree.WriteChart("A/B/b.bms", "", "B chart", "");
    tree.WriteChart("A/B/C/c.bms", "", "C chart", "");
    tree.WriteChart("A/B/C/D/d.bms", "", "D chart", "");
    int32_t word = SS_RUNNING;
    StoppingSink sink(StateWord(&word), "/A/B/C/");
    FolderScan(sink, {.state = StateWord(&word)}).Run(tree.Root());
    std::vector<std::string> titles;
    for (const ChartRow& row : sink.rows)
        titles.push_back(row.Title());
    EXPECT_EQ(titles, (std::vector<std::string>{"C chart", "B chart", "A chart", "root chart"}));
    EXPECT_EQ(sink.titles.back(), "Tamboro - 4 [" + tree.Root() + "/]");
    EXPECT_EQ(word, SS_STOP);  // the scan itself never clears a stop

    CollectingSink none;
    FolderScan(none, {.state = StateWord(&word)}).Run(tree.Root());
    EXPECT_TRUE(none.rows.empty());
    EXPECT_TRUE(none.titles.empty());
}

// Sets a flag of the scan's own when a given folder is entered.
class FlagStoppingSink : public CollectingSink {
public:
    FlagStoppingSink(std::atomic<bool>& flag, std::string stopAt) : m_flag(flag), m_stopAt(std::move(stopAt)) {}
    void FolderEntered(const std::string& folder) override
    {
        if (folder.ends_with(m_stopAt))
            m_flag = true;
    }

private:
    std::atomic<bool>& m_flag;
    std::string m_stopAt;
};

// The scan's own stop flag unwinds it as SS_STOP does, also while the shared
// word reads idle, and the word is never written.
TEST(FolderScan, OwnStopFlagUnwindsTheScanAndLeavesTheWordAlone)
{
    TestTree tree;
    tree.WriteChart("r.bms", "", "root chart", "");
    tree.WriteChart("A/a.bms", "", "A chart", "");
    tree.WriteChart("A/B/b.bms", "", "B chart", "");
    tree.WriteChart("A/B/C/D/d.bms", "", "D chart", "");
    int32_t word = SS_IDLE;
    std::atomic<bool> stop{false};
    FlagStoppingSink sink(stop, "/A/B/");
    FolderScan scan(sink, {.state = StateWord(&word), .stop = &stop});
    scan.Run(tree.Root());
    std::vector<std::string> titles;
    for (const ChartRow& row : sink.rows)
        titles.push_back(row.Title());
    EXPECT_EQ(titles, (std::vector<std::string>{"B chart", "A chart", "root chart"}));
    EXPECT_EQ(word, SS_IDLE);
}

TEST(FolderScan, LinksAreFollowedButNeverBackUp)
{
    TestTree tree;
    tree.WriteChart("lib/A/a.bms", "", "a", "");
    tree.WriteChart("elsewhere/e.bms", "", "e", "");
    tree.MakeSymlink("..", "lib/A/up");
    tree.MakeSymlink(".", "lib/A/self");
    tree.MakeSymlink(tree.Path("lib"), "lib/A/root");
    tree.MakeSymlink(tree.Path("elsewhere"), "lib/A/out");
    tree.MakeSymlink("no/such/place", "lib/A/dangling");
    // Two folders linking to each other.
    tree.MakeSymlink("../Q", "lib/P/toQ");
    tree.MakeSymlink("../P", "lib/Q/toP");
    CollectingSink sink;
    FolderScan(sink).Run(tree.Path("lib"));
    std::multiset<std::string> titles;
    for (const ChartRow& row : sink.rows)
        titles.insert(row.Title());
    EXPECT_EQ(titles, (std::multiset<std::string>{"a", "e"}));
    for (const ChartRow& row : sink.rows) {
        if (row.Title() == "e") {
            EXPECT_EQ(row.folder, tree.Path("lib/A/out/"));
        }
    }
}

TEST(FolderScan, FifoNamedLikeAChartGivesAnEmptyRowWithoutBlocking)
{
    TestTree tree;
    tree.MakeFifo("pipe.bms");
    tree.WriteChart("real.bms", "g", "real", "a");
    tree.MakeFolder("folder.bms");
    tree.WriteChart("folder.bms/inside.bms", "g", "inside", "a");
    CollectingSink sink;
    FolderScan(sink).Run(tree.Root());
    std::multiset<std::string> titles;
    for (const ChartRow& row : sink.rows)
        titles.insert(row.Title());
    // The folder named like a chart is walked and also listed as an empty chart.
    EXPECT_EQ(titles, (std::multiset<std::string>{"", "", "inside", "real"}));
    EXPECT_EQ(sink.rows.front().Title(), "inside");
}

TEST(FolderScan, UnreadableFoldersArePassedOverSilently)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every folder";
    TestTree tree;
    tree.WriteChart("open/a.bms", "", "a", "");
    tree.WriteChart("closed/b.bms", "", "b", "");
    ::chmod(tree.Path("closed").c_str(), 0);
    CollectingSink sink;
    FolderScan(sink).Run(tree.Root());
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].Title(), "a");
    EXPECT_EQ(sink.titles.size(), 2u);  // "open" and the root, none for "closed"
}

TEST(FolderScan, VeryDeepTreesScanWithoutLimitsOnPathLength)
{
    TestTree tree;
    // 2,000 levels make paths far longer than PATH_MAX; walk with *at() calls.
    std::string relative;
    int fd = ::open(tree.Root().c_str(), O_DIRECTORY);
    for (int i = 0; i < 2000; ++i) {
        ASSERT_EQ(::mkdirat(fd, "level", 0700), 0);
        const int next = ::openat(fd, "level", O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    const int chart = ::openat(fd, "deep.bms", O_CREAT | O_WRONLY, 0600);
    ASSERT_EQ(::write(chart, "#TITLE bottom\r\n", 15), 15);
    ::close(chart);
    ::close(fd);
    CollectingSink sink;
    FolderScan(sink).Run(tree.Root());
    ASSERT_EQ(sink.rows.size(), 1u);
    EXPECT_EQ(sink.rows[0].Title(), "bottom");
    EXPECT_EQ(sink.rows[0].folder.size(), tree.Root().size() + 1 + 2000 * 6);
    EXPECT_EQ(sink.titles.size(), 2001u);
    // The tree is removed with *at() calls too: std::filesystem cannot.
    std::string cmd = "rm -rf '" + tree.Path("level") + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
}

}  // namespace
}  // namespace tamboro
