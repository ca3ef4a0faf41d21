// Header lines far longer than the reader's block: kept (up to the value
// limit) when they are header lines, dropped as they are read when they turn out not to be, and
// the reader left clean for the next file either way.
#include <gtest/gtest.h>

#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "search/HeaderReader.h"
#include "tests/support/HeaderValues.h"
#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

using test::Values;

Values Read(HeaderReader& reader, const std::string& path)
{
    TagTable tags;
    tags.Value(TagOf("#TITLE ")) = "stale";
    reader.ReadHeaders(path, tags);
    return test::ValuesOf(tags);
}

// Reads `bytes` with block sizes that make its long lines cross many block
// boundaries, each in a fresh reader and in one reader that read a file
// ending inside a long header line just before.
void ExpectEveryBlockSize(const std::string& bytes, const Values& expected)
{
    test::TestTree tree;
    tree.WriteFile("c.bms", bytes);
    tree.WriteFile("unfinished.bms", "#GENRE " + std::string(5000, 'u'));
    for (std::size_t block : {1u, 2u, 3u, 5u, 7u, 64u, 1000u, 4096u}) {
        HeaderReader fresh(block);
        EXPECT_EQ(Read(fresh, tree.Path("c.bms")), expected) << "block size " << block;
        HeaderReader used(block);
        Read(used, tree.Path("unfinished.bms"));
        EXPECT_EQ(Read(used, tree.Path("c.bms")), expected) << "after an unfinished line, block size " << block;
    }
}

TEST(HeaderReaderLongLines, HeaderLinesLongerThanManyBlocksAreKept)
{
    const std::string title(20000, 't');
    // CR LF at the end, with the CR and the LF in different blocks for some
    // block sizes; a lone CR inside the value stays.
    ExpectEveryBlockSize("#BPM 1\r\n#TITLE " + title + "\r" + title + "\r\n#ARTIST a\r\n",
                         {"", title + "\r" + title, "a"});
    // The last line of the file, with no line end.
    ExpectEveryBlockSize("#ARTIST a\n#GENRE " + title, {title, "", "a"});
    // A Ctrl-Z ends the value and the file.
    ExpectEveryBlockSize("#TITLE " + title + "\x1A" + title + "\r\n#ARTIST late\r\n", {"", title, ""});
}

TEST(HeaderReaderLongLines, LinesThatStopLookingLikeATagAreDropped)
{
    // Each of these starts like a tag and differs from it only after a few
    // bytes, which for small blocks come in a later block than the start.
    // The rest of the line is full of tags that are not at a line start.
    std::string rest;
    while (rest.size() < 20000)
        rest += "#TITLE wrong#ARTIST wrong #GENRE wrong ";
    for (const char* start : {"#TITLEX", "#TITL\t", "#ARTISTS", "#GENRE\r", "#G#", "#title\x1A"}) {
        const std::string line = std::string(start) + rest;
        const bool cutByCtrlZ = line.find('\x1A') != std::string::npos;
        ExpectEveryBlockSize("#TITLE first\r\n" + line + "\r\n#ARTIST after\r\n",
                             {"", "first", cutByCtrlZ ? "" : "after"});
    }
}

// The growth of this process's peak resident memory while `work` runs, in
// KiB, measured in a child process so that earlier tests do not count.
long PeakGrowthKiB(void (*work)(const std::string&), const std::string& path)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        struct rusage before {
        }, after{};
        ::getrusage(RUSAGE_SELF, &before);
        work(path);
        ::getrusage(RUSAGE_SELF, &after);
        const long growth = after.ru_maxrss - before.ru_maxrss;
        const bool ok = ::write(fds[1], &growth, sizeof(growth)) == static_cast<ssize_t>(sizeof(growth));
        ::_exit(ok ? 0 : 1);
    }
    ::close(fds[1]);
    long growth = -1;
    if (::read(fds[0], &growth, sizeof(growth)) != static_cast<ssize_t>(sizeof(growth)))
        growth = -1;
    ::close(fds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return growth;
}

void ReadWithSmallBlocks(const std::string& path)
{
    HeaderReader reader(4096);
    TagTable tags;
    reader.ReadHeaders(path, tags);
}

TEST(HeaderReaderLongLines, OnlyHeaderLinesAreHeldInMemory)
{
    constexpr std::size_t kLine = 48u << 20;
    test::TestTree tree;
    // 4093 bytes of data, then a line starting "#TI" at the end of the first
    // 4096-byte block whose next bytes show it is not a tag.
    const std::string lead = "#BPM " + std::string(4096 - 3 - 5 - 1, '1') + "\n";
    tree.WriteFile("skipped.bms", lead + "#TITLX" + std::string(kLine, 'x') + "\r\n#TITLE y\r\n");
    tree.WriteFile("kept.bms", lead + "#TITLE " + std::string(kLine, 'x') + "\r\n");

    const long skipped = PeakGrowthKiB(ReadWithSmallBlocks, tree.Path("skipped.bms"));
    const long kept = PeakGrowthKiB(ReadWithSmallBlocks, tree.Path("kept.bms"));
    ASSERT_GE(skipped, 0);
    ASSERT_GE(kept, 0);
    // Neither line is held: the header line only up to the value limit.
    EXPECT_LT(kept, 8 * 1024) << "peak growth of the kept line, KiB";
    EXPECT_LT(skipped, 8 * 1024) << "peak growth of the skipped line, KiB";

    HeaderReader reader(4096);
    EXPECT_EQ(Read(reader, tree.Path("skipped.bms")), (Values{"", "y", ""}));
    EXPECT_EQ(Read(reader, tree.Path("kept.bms")).title, std::string(HeaderReader::kMaxValueLength, 'x'));
}

}  // namespace
}  // namespace tamboro
