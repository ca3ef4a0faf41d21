// What an index tells of itself before a walk: the folders it holds in the
// order of their paths, and each folder's charts, which the look-ahead of a
// cold scan goes through on threads of its own; and what it keeps of one
// chart, which the walk hands the lister. What a save keeps when a program
// of another list of tags saved since the load.
#include <gtest/gtest.h>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "library/IndexBlobs.h"
#include "library/SqliteChartIndex.h"
#include "search/FolderPrefetch.h"
#include "search/FolderScan.h"
#include "support/TestTree.h"

namespace tamboro {
namespace {

TEST(KeptIndex, FoldersInPathOrderWithTheirChartsAndALookAheadThatEnds)
{
    test::TestTree tree;
    tree.WriteChart("b/2.bms", "g", "t", "a");
    tree.WriteChart("b/1.bms", "g", "t", "a");
    tree.WriteChart("a-x/3.bms", "g", "t", "a");
    tree.WriteChart("a/c/4.bms", "g", "t", "a");
    tree.WriteFile("a/song.wav", "");
    ::usleep(200'000);  // old enough to be kept
    const std::string file = tree.Path("index.sqlite");
    for (int pass = 0; pass < 2; ++pass) {
        SqliteChartIndex::Opened opened = SqliteChartIndex::Open(file, tree.Root(), ChartTypes(), false);
        ASSERT_NE(opened.index, nullptr) << opened.note;
        test::CollectingSink sink;
        ScanOptions options;
        options.index = opened.index.get();
        ASSERT_EQ(FolderScan(sink, std::move(options)).Run(tree.Root()), 0);
        ASSERT_EQ(sink.rows.size(), 4u);
        if (pass == 0) {
            EXPECT_TRUE(opened.index->KeptFolderPaths().empty());
            EXPECT_EQ(opened.index->Save(true), "");
            continue;
        }
        const std::string root = tree.Root() + "/";
        const std::vector<std::string_view>& paths = opened.index->KeptFolderPaths();
        EXPECT_EQ(std::vector<std::string>(paths.begin(), paths.end()),
                  (std::vector<std::string>{root, root + "a-x/", root + "a/", root + "a/c/", root + "b/"}));
        std::vector<std::string_view> names;
        opened.index->KeptChartNames(root + "b/", names);
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string_view>{"1.bms", "2.bms"}));
        opened.index->KeptChartNames(root + "a/", names);
        EXPECT_TRUE(names.empty());
        opened.index->KeptChartNames(root + "none/", names);
        EXPECT_TRUE(names.empty());
        // What is kept of a chart answers for that chart and stamp alone.
        struct stat st {};
        ASSERT_EQ(::stat((root + "b/1.bms").c_str(), &st), 0);
        const KeptChartRef kept = opened.index->FindKeptChart(root + "b/", "1.bms");
        TagTable values;
        ChartHashes hashes;
        EXPECT_TRUE(opened.index->FindChart(kept, "1.bms", StampOf(st), false, values, hashes));
        EXPECT_EQ(values.Value(TagOf("#TITLE ")), "t");
        EXPECT_FALSE(opened.index->FindChart(kept, "2.bms", StampOf(st), false, values, hashes));
        EXPECT_TRUE(opened.index->FindKeptChart(root + "b/", "3.bms").bytes.empty());
        // Started twice, ended while (or after) going through the folders.
        FolderPrefetch prefetch(*opened.index);
        prefetch.Start(3);
        prefetch.Start(3);
        EXPECT_TRUE(prefetch.Started());
    }
}

// Runs `sql` on the file through a connection of its own; the first
// column of the last row, or "NULL".
std::string Query(const std::string& file, const char* sql)
{
    sqlite3* db = nullptr;
    std::string answer = "no answer";
    if (sqlite3_open(file.c_str(), &db) == SQLITE_OK) {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
            while (sqlite3_step(statement) == SQLITE_ROW) {
                const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
                answer = text != nullptr ? text : "NULL";
            }
        }
        sqlite3_finalize(statement);
    }
    sqlite3_close(db);
    return answer;
}

TEST(KeptIndex, ASaveAfterAnotherListOfTagsKeepsValuesOfItsOwnListOnly)
{
    test::TestTree tree;
    tree.WriteChart("a/1.bms", "g", "t", "a");
    tree.WriteChart("b/2.bms", "g", "t", "a");
    ::usleep(200'000);
    const std::string file = tree.Path("index.sqlite");
    const auto scanAndSave = [&](SqliteChartIndex& index) {
        test::CollectingSink sink;
        ScanOptions options;
        options.index = &index;
        ASSERT_EQ(FolderScan(sink, std::move(options)).Run(tree.Root()), 0);
        EXPECT_EQ(index.Save(true), "");
    };
    SqliteChartIndex::Opened first = SqliteChartIndex::Open(file, tree.Root(), ChartTypes(), false);
    ASSERT_NE(first.index, nullptr) << first.note;
    scanAndSave(*first.index);
    first.index.reset();
    tree.WriteChart("a/1.bms", "g", "changed", "a");
    ::usleep(200'000);
    // Loaded while the file's tags are this program's; then a program of
    // another list saves its values of b/ before this one saves.
    SqliteChartIndex::Opened opened = SqliteChartIndex::Open(file, tree.Root(), ChartTypes(), false);
    ASSERT_NE(opened.index, nullptr) << opened.note;
    Query(file, "UPDATE meta SET value = 'another list' WHERE key = 'tags'");
    Query(file, "UPDATE folder SET charts = x'00' WHERE CAST(path AS TEXT) LIKE '%/b/'");
    scanAndSave(*opened.index);
    EXPECT_EQ(Query(file, "SELECT value FROM meta WHERE key = 'tags'"), HeaderTagList());
    EXPECT_EQ(Query(file, "SELECT charts IS NULL FROM folder WHERE CAST(path AS TEXT) LIKE '%/b/'"), "1");
    EXPECT_EQ(Query(file, "SELECT charts IS NULL FROM folder WHERE CAST(path AS TEXT) LIKE '%/a/'"), "0");
}

}  // namespace
}  // namespace tamboro
