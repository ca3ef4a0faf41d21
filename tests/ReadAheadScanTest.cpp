// The scan with charts read ahead by several threads must make exactly the
// sink calls of the scan on one thread: same folders entered, same rows in
// the same batches, same titles, on every kind of tree, with a row limit,
// with a stop, and with a read-ahead window far smaller than the library.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <dirent.h>
#include <sstream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "search/FolderScan.h"
#include "search/ReadAheadWindow.h"
#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

using test::TestTree;

// Every call the scan makes, one line each.
class TraceSink : public ScanSink {
public:
    void FolderEntered(const std::string& folder) override { trace.push_back("enter " + folder); }
    void AddRows(std::vector<ChartRow>& rows) override
    {
        trace.push_back("batch " + std::to_string(rows.size()));
        for (const ChartRow& row : rows) {
            std::ostringstream line;
            line << "row " << row.folder;
            for (const std::string& value : row.values.Values())
                line << '|' << value;
            line << '|' << row.file << '|' << row.md5 << '|' << row.sha256 << '|' << row.index;
            trace.push_back(line.str());
        }
        ++batches;
        if (stopAfterBatch == batches)
            word.Store(SS_STOP);
    }
    void SetTitle(const std::string& title) override { trace.push_back("title " + title); }

    std::vector<std::string> trace;
    int batches = 0;
    int stopAfterBatch = -1;  // stores a stop once this many batches came
    StateWord word;
};

struct ScanRun {
    int error = 0;
    int32_t count = 0;
    std::vector<std::string> trace;
};

ScanRun ScanOneThread(const std::string& root, int64_t limit, const ChartTypes& types = {}, int stopAfterBatch = -1,
                      bool hashes = false)
{
    int32_t word = SS_RUNNING;
    TraceSink sink;
    sink.word = StateWord(&word);
    sink.stopAfterBatch = stopAfterBatch;
    FolderScan scan(sink, {.state = StateWord(&word), .rowLimit = limit, .types = types, .hashes = hashes});
    ScanRun run;
    run.error = scan.Run(root);
    run.count = scan.Count();
    run.trace = std::move(sink.trace);
    return run;
}

ScanRun ScanReadingAhead(const std::string& root, int64_t limit, int readers, ReadAheadLimits window,
                         const ChartTypes& types = {}, int stopAfterBatch = -1, bool hashes = false)
{
    int32_t word = SS_RUNNING;
    TraceSink sink;
    sink.word = StateWord(&word);
    sink.stopAfterBatch = stopAfterBatch;
    FolderScan scan(sink, {.state = StateWord(&word),
                           .rowLimit = limit,
                           .types = types,
                           .readers = readers,
                           .readAhead = window,
                           .hashes = hashes});
    ScanRun run;
    run.error = scan.Run(root);
    run.count = scan.Count();
    run.trace = std::move(sink.trace);
    return run;
}

// A small window: the walk waits for the lister after a few steps.
constexpr ReadAheadLimits kTinyWindow{6, 2, 64};

void ExpectSameAsOneThread(const std::string& root, int64_t limit, const ChartTypes& types = {},
                           int stopAfterBatch = -1)
{
    const ScanRun one = ScanOneThread(root, limit, types, stopAfterBatch);
    for (const int readers : {2, 7}) {
        // The tiny window keeps every reader at work, as reads that wait for
        // the device do; the default one a reader per core on these cached
        // trees.
        ReadAheadLimits tiny = kTinyWindow;
        tiny.readersWhenCached = readers;
        for (const ReadAheadLimits& window : {ReadAheadLimits{}, tiny}) {
            const ScanRun many = ScanReadingAhead(root, limit, readers, window, types, stopAfterBatch);
            SCOPED_TRACE("readers " + std::to_string(readers) + ", window of " + std::to_string(window.chunks) +
                         " chunks, row limit " + std::to_string(limit) + ", stop after batch " +
                         std::to_string(stopAfterBatch));
            EXPECT_EQ(many.error, one.error);
            EXPECT_EQ(many.count, one.count);
            ASSERT_EQ(many.trace, one.trace);
        }
    }
}

// Nested folders, charts of several runs per folder, links, special files,
// odd entries: the trees of the one-thread tests, together.
void BuildMixedTree(TestTree& tree)
{
    tree.WriteChart("top.bms", "g", "top", "a");
    for (int f = 0; f < 6; ++f) {
        const std::string folder = "pack" + std::to_string(f);
        for (int c = 0; c < 3 + 5 * f; ++c)
            tree.WriteChart(folder + "/c" + std::to_string(c) + (c % 4 == 0 ? ".BMS" : ".bms"), "genre",
                            folder + " " + std::to_string(c), "artist");
        tree.WriteChart(folder + "/sabun/s.bms", "", "sabun of " + folder, "");
        tree.WriteChart(folder + "/other.bme", "", "a bme chart", "");
    }
    tree.WriteChart("A/B/C/D/d.bms", "", "D chart", "");
    tree.WriteChart("A/B/b.bms", "", "B chart", "");
    tree.MakeFolder("empty/also empty");
    tree.MakeSymlink("..", "A/up");
    tree.MakeSymlink("../pack1", "A/B/toPack1");
    tree.MakeSymlink("no/such/place", "A/dangling.bms");
    tree.MakeFifo("A/pipe.bms");
    tree.MakeFolder("folder.bms");
    tree.WriteChart("folder.bms/inside.bms", "g", "inside", "a");
    tree.WriteFile("A/empty.bms", "");
    tree.WriteFile("A/B/C/keysound.wav", "RIFF");
}

TEST(ReadAheadScan, SameCallsAsOneThreadOnNestedTreesWithLinksAndSpecialFiles)
{
    TestTree tree;
    BuildMixedTree(tree);
    ExpectSameAsOneThread(tree.Root(), ScanOptions::kNoRowLimit);
    ExpectSameAsOneThread(tree.Root() + "/", ScanOptions::kNoRowLimit, *ChartTypes::Parse("bms,bme"));
    // Limits crossed inside a folder's charts, at a folder's edge, and at once.
    for (const int64_t limit : {0, 1, 4, 13, 30})
        ExpectSameAsOneThread(tree.Root(), limit);
}

TEST(ReadAheadScan, RootsThatCannotBeReadGiveTheSameErrorAndNothingElse)
{
    TestTree tree;
    tree.WriteChart("file.bms", "g", "t", "a");
    for (const std::string& root : {std::string(), tree.Path("missing"), tree.Path("file.bms")})
        ExpectSameAsOneThread(root, ScanOptions::kNoRowLimit);
}

TEST(ReadAheadScan, UnreadableEntriesGiveTheSameRows)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    TestTree tree;
    tree.WriteChart("open/a.bms", "", "a", "");
    tree.WriteChart("closed/b.bms", "", "b", "");
    tree.WriteChart("locked.bms", "g", "locked", "a");
    tree.WriteChart("listonly/c.bms", "g", "c", "a");
    ::chmod(tree.Path("closed").c_str(), 0);
    ::chmod(tree.Path("locked.bms").c_str(), 0);
    ::chmod(tree.Path("listonly").c_str(), 0444);
    ExpectSameAsOneThread(tree.Root(), ScanOptions::kNoRowLimit);
    ::chmod(tree.Path("closed").c_str(), 0755);
    ::chmod(tree.Path("listonly").c_str(), 0755);
}

TEST(ReadAheadScan, StopWhileReadersAreBusyListsTheOpenFoldersAsOneThreadDoes)
{
    TestTree tree;
    // Large enough charts that readers are still reading when the stop comes.
    const std::string filler(48 * 1024, 'x');
    for (int a = 0; a < 4; ++a) {
        for (int b = 0; b < 5; ++b) {
            const std::string folder = "area" + std::to_string(a) + "/song" + std::to_string(b);
            for (int c = 0; c < 9; ++c)
                tree.WriteFile(folder + "/" + std::to_string(c) + ".bms",
                               "#TITLE " + folder + " " + std::to_string(c) + "\r\n#" + filler + "\r\n");
        }
        tree.WriteChart("area" + std::to_string(a) + "/loose.bms", "", "loose", "");
    }
    tree.WriteChart("root.bms", "", "root", "");
    for (const int stopAfter : {1, 3, 6, 7, 20})
        ExpectSameAsOneThread(tree.Root(), ScanOptions::kNoRowLimit, {}, stopAfter);
    // A stop and a row limit together: the stop leaves rows out, so folders
    // past the limit without it are listed.
    ExpectSameAsOneThread(tree.Root(), 40, {}, 2);
}

TEST(ReadAheadScan, LibraryFarLargerThanTheWindowKeepsEveryRowInOrder)
{
    TestTree tree;
    int charts = 700;
    for (int f = 0; f < 120; ++f) {
        charts += f % 11;
        for (int c = 0; c < f % 11; ++c)
            tree.WriteChart("f" + std::to_string(f) + "/" + std::to_string(c) + ".bms", "", std::to_string(f), "");
    }
    tree.MakeFolder("big");
    for (int c = 0; c < 700; ++c)
        tree.WriteChart("big/" + std::to_string(c) + ".bms", "g", std::to_string(c), "a");
    const ScanRun one = ScanOneThread(tree.Root(), ScanOptions::kNoRowLimit);
    ASSERT_EQ(one.count, charts);
    const ScanRun many = ScanReadingAhead(tree.Root(), ScanOptions::kNoRowLimit, 3, kTinyWindow);
    EXPECT_EQ(many.trace, one.trace);
}

// Readers beyond one per core only take turns on the cores while reads find
// the page cache; once a read waits for the device every reader works.
TEST(ReadAheadWindow, ReadersBeyondTheCachedLimitWorkOnlyOnceReadsWait)
{
    ReadAheadWindow window({64, 64, 8u << 20, 1});
    std::vector<ScanStep> steps(6);
    for (ScanStep& step : steps) {
        step.kind = ScanStep::kCharts;
        step.chunk = std::make_shared<ChartChunk>();
        step.chunk->state.store(ChartChunk::kQueued);
    }
    window.Push(steps, 6);
    std::atomic<int> claimed{0};
    std::atomic<bool> release{false};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        window.AddReader();
        readers.emplace_back([&] {
            while (std::shared_ptr<ChartChunk> chunk = window.NextWork()) {
                ++claimed;
                while (!release.load())
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                window.MarkDone(*chunk, 0);
            }
        });
    }
    const auto waitForClaims = [&](int n) {
        for (int i = 0; i < 5000 && claimed.load() < n; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    waitForClaims(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(claimed.load(), 1);
    window.NoteDeviceWait();
    waitForClaims(3);
    EXPECT_EQ(claimed.load(), 3);
    release.store(true);
    waitForClaims(6);
    window.Close();
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(claimed.load(), 6);
}

// A reader reserves what a chart's values can take: its size once it is
// open, up to what every tag at its longest takes. Charts whose every value
// is cut at the longest still keep each whole, with readers that find no
// room for them and leave them to the lister, and the digests of every
// chart are those a scan on one thread computes.
TEST(ReadAheadScan, ChartsWithEveryValueAtItsLongestKeepThemWholeWithTheirDigests)
{
    TestTree tree;
    std::string huge;
    for (const TagSpec& tag : kHeaderTags)
        huge += std::string(tag.text) + std::string(HeaderReader::kMaxValueLength + 100, tag.text[1]) + "\r\n";
    for (int f = 0; f < 4; ++f) {
        for (int c = 0; c < 12; ++c) {
            const std::string name = "f" + std::to_string(f) + "/" + std::to_string(c) + ".bms";
            if (c % 3 == 0)
                tree.WriteFile(name, huge + "\x1A" + std::to_string(c));
            else
                tree.WriteChart(name, "g", name, "a");
        }
    }
    const ScanRun one = ScanOneThread(tree.Root(), ScanOptions::kNoRowLimit, {}, -1, true);
    ASSERT_EQ(one.count, 48);
    // Room for one chart at its longest, and for twelve.
    for (const std::size_t bytes : {std::size_t{1} << 20, ReadAheadLimits{}.bytes}) {
        const ScanRun many =
            ScanReadingAhead(tree.Root(), ScanOptions::kNoRowLimit, 4, {4096, 128, bytes, 4}, {}, -1, true);
        EXPECT_EQ(many.trace, one.trace) << bytes;
    }
    std::string whole;
    for (const TagSpec& tag : kHeaderTags)
        whole += '|' + std::string(HeaderReader::kMaxValueLength, tag.text[1]);
    const auto hugeRows = std::count_if(one.trace.begin(), one.trace.end(), [&whole](const std::string& line) {
        return line.find(whole + '|') != std::string::npos;
    });
    EXPECT_EQ(hugeRows, 16);
}

// Once the first chart of a reader's run is open, its reservation shrinks
// to the chart's size: a window with room for one chart at its longest
// puts a second reader to work then.
TEST(ReadAheadWindow, AnOpenChartsSizeLeavesRoomForMoreReaders)
{
    ReadAheadWindow window({64, 64, ReadAheadLimits{}.chartBytes + 1000, 2});
    std::vector<ScanStep> steps(4);
    for (ScanStep& step : steps) {
        step.kind = ScanStep::kCharts;
        step.chunk = std::make_shared<ChartChunk>();
        step.chunk->state.store(ChartChunk::kQueued);
    }
    window.Push(steps, 4);
    window.AddReader();
    window.AddReader();
    const std::shared_ptr<ChartChunk> first = window.NextWork();
    ASSERT_NE(first, nullptr);
    std::atomic<bool> claimed{false};
    std::thread second([&] {
        if (std::shared_ptr<ChartChunk> chunk = window.NextWork()) {
            claimed.store(true);
            window.MarkDone(*chunk, 0);
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(claimed.load());
    window.Fit(*first, 500);
    for (int i = 0; i < 5000 && !claimed.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(claimed.load());
    window.MarkDone(*first, 0);
    window.Close();
    second.join();
}

TEST(ReadAheadScan, MixedChartTypesInOneFolderComeInListingOrder)
{
    TestTree tree;
    const std::vector<std::string> names = {"a.bme", "b.bms", "c.PMS", "d.bml", "e.BMS", "f.Bme", "g.txt", "h.bmson"};
    for (const std::string& name : names)
        tree.WriteChart(name, "", name, "");
    std::vector<std::string> expected;
    DIR* dir = ::opendir(tree.Root().c_str());
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.ends_with(".bme") || name.ends_with(".bms") || name.ends_with(".Bme") || name.ends_with(".BMS"))
            expected.push_back(name);
    }
    ::closedir(dir);
    const ChartTypes types = *ChartTypes::Parse("bms,BME");
    for (const int readers : {1, 3}) {
        TraceSink sink;
        FolderScan(sink, {.types = types, .readers = readers}).Run(tree.Root());
        std::vector<std::string> titles;
        for (const std::string& line : sink.trace) {
            if (line.starts_with("row "))
                titles.push_back(line.substr(line.find('|', line.find('|') + 1) + 1).substr(0, 5));
        }
        EXPECT_EQ(titles, expected) << readers << " readers";
        EXPECT_EQ(sink.batches, 1);
    }
}

TEST(ChartTypes, ParsesCommaListsOfEndingsAndMatchesInAnyCase)
{
    const ChartTypes all = *ChartTypes::Parse("bms,BME,bml,pms,bms");
    EXPECT_EQ(all.Endings(), (std::vector<std::string>{"bms", "bme", "bml", "pms"}));
    for (const char* name : {"a.bms", "a.BME", "x.y.Pms", ".bml"})
        EXPECT_TRUE(all.Matches(name)) << name;
    for (const char* name : {"bms", "abms", "a.bmsx", "a.bms.bak", "a.bm", "a.", ""})
        EXPECT_FALSE(all.Matches(name)) << name;
    EXPECT_EQ(ChartTypes(), *ChartTypes::Parse("bms"));
    EXPECT_TRUE(ChartTypes().Matches("SONG.BmS"));
    EXPECT_FALSE(ChartTypes().Matches("song.bme"));
    for (const char* bad : {"", ",", "bms,", ",bms", "bms,,bme", ".bms", "bm s", "b/s", "bms;bme"})
        EXPECT_FALSE(ChartTypes::Parse(bad).has_value()) << '"' << bad << '"';
}

}  // namespace
}  // namespace tamboro
