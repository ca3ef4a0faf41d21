// What an index tells of itself before a walk: the folders it holds in the
// order of their paths, and each folder's charts, which the look-ahead of a
// cold scan goes through on threads of its own; and what it keeps of one
// chart, which the walk hands the lister.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

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

}  // namespace
}  // namespace tamboro
