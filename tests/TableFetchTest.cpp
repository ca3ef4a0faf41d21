// Tables fetched from a real web server on 127.0.0.1 (tests/support/
// table_server.py, started by the test), from local files, kept in the cache
// and written by the export.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>

#include "tables/TableCache.h"
#include "tables/TableExport.h"
#include "tables/TableReader.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

// The test server as a child process; killed and reaped at the end.
class TableServer {
public:
    TableServer()
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], STDOUT_FILENO);
            ::close(out[0]);
            ::close(out[1]);
            ::execl(TAMBORO_PYTHON3, TAMBORO_PYTHON3, TAMBORO_TABLE_SERVER, static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        char line[32] = {};
        FILE* in = ::fdopen(out[0], "r");
        if (in && std::fgets(line, sizeof line, in))
            m_port = std::atoi(line);
        if (in)
            std::fclose(in);
    }
    ~TableServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    std::string Address(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }
    int Port() const { return m_port; }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

void ExpectServedTable(const DifficultyTable& table)
{
    EXPECT_EQ(table.name, "Test table");
    EXPECT_EQ(table.symbol, "\u2605");
    EXPECT_EQ(table.levelOrder, (std::vector<std::string>{"3", "2", "1", "10"}));
    // data1's entries, the one without a hash too, then data2's.
    ASSERT_EQ(table.entries.size(), 4u);
    EXPECT_EQ(table.entries[0].md5, std::string(32, 'a'));
    EXPECT_EQ(table.entries[1].level, "2");
    EXPECT_EQ(table.entries[1].sha256, std::string(64, 'b'));
    EXPECT_EQ(table.entries[2].Hash(), EntryHash::None);
    EXPECT_EQ(table.entries[3].title, "third");
}

FetchLimits ShortLimits()
{
    FetchLimits limits;
    limits.maxBytes = 1 << 20;
    limits.maxRedirects = 5;
    limits.connectTimeoutMs = 2000;
    limits.totalTimeoutMs = 1500;
    return limits;
}

TEST(TableFetch, PageThroughARedirectToHeaderAndTwoDataFiles)
{
    TableServer server;
    ASSERT_NE(server.Port(), 0);
    // Another fetcher on another thread at the same time: each fetcher is
    // its own client.
    std::optional<TableResult<DifficultyTable>> onThread;
    std::thread other([&] {
        TableFetcher fetcher;
        onThread = TableReader(fetcher).Read(server.Address("/site/page.html"));
    });
    TableFetcher fetcher;
    TableReader reader(fetcher);
    const auto table = reader.Read(server.Address("/start"));
    other.join();
    ASSERT_TRUE(*onThread) << onThread->Error();
    EXPECT_EQ((*onThread)->entries, table->entries);
    ASSERT_TRUE(table) << table.Error();
    EXPECT_EQ(table->source, server.Address("/start"));
    ExpectServedTable(*table);
    // The header's own address works as well.
    const auto fromHeader = reader.Read(server.Address("/site/header.json"));
    ASSERT_TRUE(fromHeader) << fromHeader.Error();
    EXPECT_EQ(fromHeader->entries, table->entries);
}

TEST(TableFetch, MisbehavingServersEndInClearErrors)
{
    TableServer server;
    ASSERT_NE(server.Port(), 0);
    TableFetcher fetcher(ShortLimits());
    TableReader reader(fetcher);
    using Kind = TableFailure::Kind;
    struct Case {
        const char* path;
        const char* reason;
        TableFailure failure;
    };
    for (const Case& c :
         {Case{"/loop", "more than 5 redirects", {Kind::TooManyRedirects, 5}},
          Case{"/missing", "HTTP status 404", {Kind::HttpStatus, 404}}, Case{"/hang", "timed out", {Kind::TimedOut, 0}},
          Case{"/big", "larger than 1 MB", {Kind::TooLarge, 1 << 20}},
          Case{"/web/page.html",
               "file:///etc/hostname: a table on the web may only name web",
               {Kind::WebNamesLocal, 0}}}) {
        const auto table = reader.Read(server.Address(c.path));
        ASSERT_FALSE(table) << c.path;
        EXPECT_NE(table.Error().find(c.reason), std::string::npos) << c.path << ": " << table.Error();
        EXPECT_EQ(table.Failure().kind, c.failure.kind) << c.path;
        EXPECT_EQ(table.Failure().number, c.failure.number) << c.path;
    }
    // A port nobody listens on any more.
    std::string closed;
    {
        TableServer gone;
        closed = gone.Address("/start");
    }
    const auto refused = reader.Read(closed);
    EXPECT_NE(refused.Error().find(closed + ": "), std::string::npos) << refused.Error();
    EXPECT_EQ(refused.Failure().kind, Kind::CannotConnect);
}

// The stop flag, set from another thread, ends a transfer under way (here
// one whose answer never comes, with a limit far away) and every later fetch.
TEST(TableFetch, StopFlagEndsATransferUnderWay)
{
    TableServer server;
    ASSERT_NE(server.Port(), 0);
    FetchLimits limits;
    limits.totalTimeoutMs = 600'000;
    TableFetcher fetcher(limits);
    std::atomic<bool> stop{false};
    fetcher.SetStopFlag(&stop);
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        stop = true;
    });
    const auto hung = fetcher.Fetch(server.Address("/hang"));
    stopper.join();
    EXPECT_EQ(hung.Error(), server.Address("/hang") + ": stopped");
    EXPECT_EQ(fetcher.Fetch(server.Address("/start")).Error(), server.Address("/start") + ": stopped");
}

TEST(TableFetch, LocalPageHeaderAndDataAndTheirFaults)
{
    test::TestTree tree;
    tree.WriteFile("t/page.html", "<meta content=\"header file.json\" name=\"bmstable\">");
    tree.WriteFile("t/header file.json", R"({"name":"Local","symbol":"sl","data_url":"../d/data.json"})");
    tree.WriteFile("d/data.json", R"([{"level":"0","md5":"0123456789abcdef0123456789ABCDEF"}])");
    tree.WriteFile("bad/page.html", std::string(1 << 16, 'x') + "<meta name=other content=x>");
    tree.WriteFile("bad/header.json", R"({"name":"N","symbol":"s","data_url":{"a":1}})");
    TableFetcher fetcher(ShortLimits());
    TableReader reader(fetcher);
    const auto table = reader.Read(tree.Path("t/page.html"));
    ASSERT_TRUE(table) << table.Error();
    EXPECT_EQ(table->name, "Local");
    ASSERT_EQ(table->entries.size(), 1u);
    EXPECT_EQ(table->entries[0].md5, "0123456789abcdef0123456789abcdef");

    const auto noMeta = reader.Read(tree.Path("bad/page.html"));
    EXPECT_NE(noMeta.Error().find("bad/page.html: neither a table's header nor a page with a bmstable meta"),
              std::string::npos)
        << noMeta.Error();
    const auto badHeader = reader.Read(tree.Path("bad/header.json"));
    EXPECT_NE(badHeader.Error().find("data_url is neither a text nor a list of texts"), std::string::npos);
    const auto missing = reader.Read(tree.Path("bad/none.json"));
    EXPECT_NE(missing.Error().find("bad/none.json: No such file or directory"), std::string::npos);
    tree.MakeFifo("bad/fifo");
    EXPECT_NE(reader.Read(tree.Path("bad/fifo")).Error().find("not a file"), std::string::npos);
}

TEST(TableCache, KeepsTheLastCopyForWhenTheServerIsGone)
{
    test::TestTree home;
    test::ScopedEnv cache("XDG_CACHE_HOME", home.Root().c_str());
    const TableCache tables;
    EXPECT_EQ(tables.Folder(), home.Path("tamboro/tables"));
    std::string source;
    {
        TableServer server;
        ASSERT_NE(server.Port(), 0);
        source = server.Address("/start");
        TableFetcher fetcher;
        TableReader reader(fetcher);
        const auto read = tables.ReadThrough(reader, source);
        ASSERT_TRUE(read.table) << read.table.Error();
        EXPECT_FALSE(read.fromCache);
    }
    struct stat info {};
    ASSERT_EQ(::stat(tables.PathOf(source).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    TableFetcher fetcher(ShortLimits());
    TableReader reader(fetcher);
    const auto offline = tables.ReadThrough(reader, source);
    ASSERT_TRUE(offline.table) << offline.table.Error();
    EXPECT_TRUE(offline.fromCache);
    EXPECT_NE(offline.readError.find(source), std::string::npos);
    EXPECT_EQ(offline.table->source, source);
    ExpectServedTable(*offline.table);
    // Another source has no copy.
    EXPECT_FALSE(tables.Load(source + "x"));
}

TEST(TableExport, WrittenTableReadsBackTheSame)
{
    test::TestTree tree;
    DifficultyTable table;
    table.name = "My \"picks\"";
    table.symbol = "\u25c6";
    table.levelOrder = {"10", "9"};
    TableEntry entry;
    entry.level = "10";
    entry.md5 = std::string(32, 'f');
    entry.title = "Title\twith tab \u6f22";
    entry.artist = "a";
    entry.url = "http://example.org/?a=1&b=2";
    entry.urlDiff = "u";
    entry.nameDiff = "n";
    entry.comment = "c";
    table.entries.push_back(entry);
    entry.level = "9";
    entry.md5.clear();
    entry.sha256 = std::string(64, '0');
    table.entries.push_back(entry);
    const auto header = ExportTable(tree.Root(), table.name, table.symbol, table.levelOrder, table.entries);
    ASSERT_TRUE(header) << header.Error();
    table.source = *header;

    TableFetcher fetcher;
    TableReader reader(fetcher);
    const auto read = reader.Read(*header);
    ASSERT_TRUE(read) << read.Error();
    EXPECT_EQ(*read, table);
    EXPECT_FALSE(ExportTable(tree.Path("no/such/folder"), "n", "s", {}, table.entries));
}

}  // namespace
}  // namespace tamboro
