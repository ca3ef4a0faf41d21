// tamboro-scan --columns: every column of a chart, numeric sorting, the
// digests of the whole file, bad lists, and the difficulty tables' column.
#include <algorithm>
#include <cctype>
#include <gtest/gtest.h>

#include <cstdio>
#include <openssl/evp.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "tests/support/ScopedEnv.h"
#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

struct RunResult {
    int status = -1;
    std::string out;
};

// Runs tamboro-scan; `streams` chooses what is read back ("2>/dev/null" for
// stdout, "2>&1 >/dev/null" for stderr).
RunResult RunScan(const std::string& arguments, const std::string& streams = "2>/dev/null")
{
    const std::string command = std::string("LC_ALL=C.UTF-8 '") + TAMBORO_SCAN_PATH + "' " + arguments + " " + streams;
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

// The digest of `bytes` in lowercase hex, from libcrypto's one-shot call.
std::string Digest(const std::string& bytes, const EVP_MD* md)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, md, nullptr);
    std::string hex;
    for (unsigned int i = 0; i < size; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

const std::string kAllColumns =
    "folder,file,genre,title,subtitle,artist,subartist,level,difficulty,bpm,total,player,rank,md5,sha256";
const std::vector<std::string> kJobs = {"--jobs 1", "--jobs 4"};

TEST(ScanColumns, EveryColumnOfAChartWithEveryTagInMixedCaseAndCrlf)
{
    test::TestTree tree;
    // Shift-JIS in the subtitle alone: the values of a chart are decoded
    // with one decision, so the title's bytes 0x83 0x41 read as Shift-JIS too.
    const std::string chart = "#player 1\r\n#Genre Gen\r\n#TITLE \x83\x41\r\n#subTitle \x82\xA0\x82\xA2\x82\xA4\r\n"
                              "#Artist Art\r\n#SUBARTIST obj: Sub\r\n#PlayLevel 12\r\n#difficulty 4\r\n"
                              "#bpm 150.5\r\n#BPM01 90\r\n#Total 300\r\n#rank 2\r\n#TITLE_X no\r\n#00111:01\r\n";
    tree.WriteFile("s/a.bms", chart);
    const std::string expected = tree.Root() + "/s/\ta.bms\tGen\tア\tあいう\tArt\tobj: Sub\t12\t4\t150.5\t300\t1\t2\t" +
                                 Digest(chart, EVP_md5()) + "\t" + Digest(chart, EVP_sha256()) + "\n";
    for (const std::string& jobs : kJobs) {
        const RunResult run = RunScan(jobs + " --columns " + kAllColumns + " '" + tree.Root() + "'");
        EXPECT_EQ(run.status, 0) << jobs;
        EXPECT_EQ(run.out, expected) << jobs;
    }
    // Any order, any subset; the default is the window's four columns.
    EXPECT_EQ(RunScan("--columns=rank,file,title --raw '" + tree.Root() + "'").out, "2\ta.bms\t\x83\x41\n");
    EXPECT_EQ(RunScan("--columns folder,genre,title,artist '" + tree.Root() + "'").out,
              RunScan("'" + tree.Root() + "'").out);
}

TEST(ScanColumns, TabsAndBackslashesAreEscapedWhereverTheyFallInALongValue)
{
    test::TestTree tree;
    // On the last bytes of the first sixteen and across into the next,
    // side by side past the second sixteen, and in the last few bytes.
    tree.WriteFile("e/t.bms", "#TITLE 0123456789abcd\\\t0123456789abcdef012345\\\\\t6789\tz\r\n");
    EXPECT_EQ(RunScan("--raw --columns title '" + tree.Root() + "'").out,
              "0123456789abcd\\\\\\t0123456789abcdef012345\\\\\\\\\\t6789\\tz\n");
}

TEST(ScanColumns, DigestsCoverTheWholeFilePastCtrlZAndAcrossBlocks)
{
    test::TestTree tree;
    // The known digests of "abc", a chart with no header line at all.
    tree.WriteFile("1/abc.bms", "abc");
    // The header lines end at the Ctrl-Z; the file goes on for more than
    // one block of the reader, with a title line the values must not see.
    std::string tail(700 * 1024, 'x');
    tail.replace(300 * 1024, 20, "\n#TITLE after ctrl-z\n");
    const std::string ctrlZ = "#TITLE before\r\n\x1A" + tail;
    tree.WriteFile("2/z.bms", ctrlZ);
    tree.WriteFile("3/empty.bms", "");
    const std::string expected = "\t900150983cd24fb0d6963f7d28e17f72\t"
                                 "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n"
                                 "\t" +
                                 Digest("", EVP_md5()) + "\t" + Digest("", EVP_sha256()) + "\nbefore\t" +
                                 Digest(ctrlZ, EVP_md5()) + "\t" + Digest(ctrlZ, EVP_sha256()) + "\n";
    for (const std::string& jobs : kJobs) {
        const RunResult run = RunScan(jobs + " --sort file --columns title,md5,sha256 '" + tree.Root() + "'");
        EXPECT_EQ(run.status, 0) << jobs;
        EXPECT_EQ(run.out, expected) << jobs;
    }
    // Sorting by a digest computes the digests too.
    EXPECT_EQ(RunScan("--sort md5 --columns file '" + tree.Root() + "'").out, "z.bms\nabc.bms\nempty.bms\n");
}

TEST(ScanColumns, NumericColumnsSortByNumberThenTextKeepingFoundOrderOnTies)
{
    test::TestTree tree;
    const std::vector<std::string> levels = {"10", "?", "9", "", "150.5", "10.0", "-1", "2x"};
    for (std::size_t i = 0; i < levels.size(); ++i) {
        const std::string value = levels[i].empty() ? "" : "#PLAYLEVEL " + levels[i] + "\r\n";
        tree.WriteFile("c/" + std::to_string(i) + ".bms", "#TITLE t\r\n" + value);
    }
    const std::string root = "'" + tree.Root() + "'";
    // 10 and 10.0 are equal: they keep the order the folder lists them in.
    const std::string found = RunScan("--columns level " + root).out;
    const bool tenFirst = found.find("10\n") < found.find("10.0\n");
    const std::string ties = tenFirst ? "10\t0.bms\n10.0\t5.bms\n" : "10.0\t5.bms\n10\t0.bms\n";
    RunResult run = RunScan("--sort level --columns level,file " + root);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "-1\t6.bms\n2x\t7.bms\n9\t2.bms\n" + ties + "150.5\t4.bms\n\t3.bms\n?\t1.bms\n");
    run = RunScan("--sort level --reverse --columns level,file " + root);
    EXPECT_EQ(run.out, "?\t1.bms\n\t3.bms\n150.5\t4.bms\n" + ties + "9\t2.bms\n2x\t7.bms\n-1\t6.bms\n");
}

TEST(ScanColumns, BadListsExitTwoWithOneLineNamingTheName)
{
    test::TestTree tree;
    const std::string root = " '" + tree.Root() + "'";
    const struct {
        std::string arguments;
        std::string named;
    } cases[] = {
        {"--columns title,size", "'size'"}, {"--columns title,title", "'title'"}, {"--columns title,", "empty"},
        {"--columns ''", "empty"},          {"--columns=,genre", "empty"},        {"--columns Title", "'Title'"},
        {"--sort sha512", "sha512"},
    };
    for (const auto& bad : cases) {
        const RunResult run = RunScan(bad.arguments + root, "2>&1 >/dev/null");
        EXPECT_EQ(run.status, 2) << bad.arguments;
        EXPECT_NE(run.out.find(bad.named), std::string::npos) << bad.arguments << ": " << run.out;
        if (bad.arguments.starts_with("--columns")) {
            EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << bad.arguments << ": " << run.out;
        }
    }
    EXPECT_EQ(RunScan("--columns" + root).status, 2);
}

// Difficulty tables read from local files, the page leading to the header:
// the table column (upper-case hashes in the table, md5 else sha256, white
// space around a hash cut), its sort by the table's level order, the entries
// no chart matches (those without a usable hash or level too, counted on
// standard error), and a table that cannot be read.
TEST(ScanTables, TableColumnSortAndMissingEntries)
{
    test::TestTree tree;
    const std::string one = "#TITLE one\r\n";
    const std::string two = "#TITLE two\r\n";
    tree.WriteFile("lib/a/one.bms", one);
    tree.WriteFile("lib/a/two.bms", two);
    std::string upperMd5 = Digest(one, EVP_md5());
    for (char& c : upperMd5)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    tree.WriteFile("t/header.json", R"({"name":"T","symbol":"★","data_url":"data.json","level_order":["1","12","3"]})");
    tree.WriteFile("t/data.json", R"([{"level":"12","md5":")" + upperMd5 + R"("},{"level":3,"sha256":")" +
                                      Digest(two, EVP_sha256()) +
                                      R"("},{"level":"1","md5":"0123456789abcdef0123456789abcdef","title":"gone",)"
                                      R"("url":"http://x/a"},{"level":"1","md5":"short"},)"
                                      R"({"level":"","md5":"#N/A","title":"no level"},)"
                                      R"({"level":"2","md5":" )" +
                                      Digest(two, EVP_md5()) + R"(\r\n"}])");
    tree.WriteFile("page.html", R"(<meta content="t/header.json" name="bmstable">)");
    const std::string lib = " " + tree.Path("lib");
    const std::string table = " --table " + tree.Path("page.html");

    RunResult run = RunScan(table + " --columns file,table --sort table --reverse" + lib);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "two.bms\t★3 ★2\none.bms\t★12\n");
    run = RunScan(table + " --missing" + lib);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "★1\tgone\t\t0123456789abcdef0123456789abcdef\t\thttp://x/a\t\tmd5\n"
                       "★1\t\t\t\t\t\t\tnone\n"
                       "★\tno level\t\t\t\t\t\tnone\n");
    run = RunScan(table + " --missing" + lib, "2>&1 >/dev/null");
    EXPECT_EQ(run.out, "tamboro-scan: table " + tree.Path("page.html") +
                           ": 2 of 6 entries have no usable md5 or sha256 and match no chart (--missing lists them "
                           "with hash none)\n");

    run = RunScan(" --table " + tree.Path("t/none.json") + lib, "2>&1 >/dev/null");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.out.find(tree.Path("t/none.json")), std::string::npos) << run.out;
    EXPECT_EQ(RunScan(" --columns table" + lib).status, 2);
    EXPECT_EQ(RunScan(" --missing" + lib).status, 2);
}

// libcurl is opened at the first web fetch only: with a libcurl.so.4 that
// cannot load first on the library path, a table read from a file still
// works, and a table on the web fails in one line naming it and why.
TEST(ScanTables, LibcurlOpenedOnlyForAWebTable)
{
    test::TestTree tree;
    tree.WriteFile("broken/libcurl.so.4", "");
    tree.WriteFile("lib/a/one.bms", "#TITLE one\r\n");
    tree.WriteFile("t/header.json", R"({"name":"T","symbol":"s","data_url":"data.json"})");
    tree.WriteFile("t/data.json", "[]");
    const test::ScopedEnv libraryPath("LD_LIBRARY_PATH", tree.Path("broken").c_str());
    const std::string lib = " " + tree.Path("lib");

    RunResult run = RunScan(" --table " + tree.Path("t/header.json") + " --columns file,table" + lib);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "one.bms\t\n");
    const std::string web = "http://127.0.0.1:9/header.json";
    run = RunScan(" --table " + web + lib, "2>&1 >/dev/null");
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out.rfind("tamboro-scan: cannot read the table " + web + ": cannot load libcurl.so.4: ", 0), 0u)
        << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
}

// libcrypto is opened when digests are asked for only: with a
// libcrypto.so.3 that cannot load first on the library path, rows without
// digests still come, and asking for a digest fails in one line.
TEST(ScanColumns, LibcryptoOpenedOnlyForDigests)
{
    test::TestTree tree;
    tree.WriteFile("broken/libcrypto.so.3", "");
    tree.WriteFile("lib/a/one.bms", "#TITLE one\r\n");
    const test::ScopedEnv libraryPath("LD_LIBRARY_PATH", tree.Path("broken").c_str());
    const std::string lib = " " + tree.Path("lib");

    RunResult run = RunScan("--columns file,title" + lib);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "one.bms\tone\n");
    run = RunScan("--columns file,md5" + lib, "2>&1 >/dev/null");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.rfind("tamboro-scan: no digests: cannot load libcrypto.so.3: ", 0), 0u) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
}

}  // namespace
}  // namespace tamboro
