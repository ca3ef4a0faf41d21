#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <string_view>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include "search/CandidateLineFinder.h"
#include "search/HeaderReader.h"
#include "tests/support/HeaderValues.h"
#include "tests/support/TestTree.h"

namespace tamboro {
namespace {

using test::Values;
using test::ValuesOf;

// Reads `bytes` from a file and from memory with several block sizes, so that
// lines, tags and CR LF pairs fall across block boundaries, and checks all
// readings agree with the one-piece parse, in every tag; the digests asked
// for while reading are those of all the bytes, past a Ctrl-Z too.
Values ReadAllWays(const std::string& bytes)
{
    TagTable tags;
    HeaderReader::ParseBytes(bytes, tags);
    const Values expected = ValuesOf(tags);
    const ChartHashes digests{FileHash::Md5Hex(bytes), FileHash::Sha256Hex(bytes)};
    test::TestTree tree;
    tree.WriteFile("c.bms", bytes);
    for (std::size_t block : {1u, 2u, 3u, 5u, 7u, 8u, 9u, 16u, 17u, 64u, 4096u, 262144u}) {
        HeaderReader reader(block);
        TagTable fromFile;
        fromFile.Value(TagOf("#TITLE ")) = "left over from an earlier file";
        reader.ReadHeaders(tree.Path("c.bms"), fromFile);
        EXPECT_EQ(ValuesOf(fromFile), expected) << "block size " << block;
        TagTable fromMemory;
        fromMemory.Value(TagOf("#ARTIST ")) = "left over from an earlier file";
        reader.ReadFromMemory(bytes, fromMemory);
        EXPECT_EQ(ValuesOf(fromMemory), expected) << "from memory, block size " << block;
        TagTable hashed;
        ChartHashes hashes{"left", "over"};
        reader.ReadFromMemory(bytes, hashed, &hashes);
        EXPECT_EQ(hashed.Values(), tags.Values()) << "hashed from memory, block size " << block;
        EXPECT_EQ(hashes.md5, digests.md5) << "block size " << block;
        EXPECT_EQ(hashes.sha256, digests.sha256) << "block size " << block;
    }
    return expected;
}

std::string TitleOf(const std::string& bytes)
{
    return ReadAllWays(bytes).title;
}

TEST(HeaderReader, TagListGivesTheLongestTagAndTheFirstLetters)
{
    std::size_t longest = 0;
    std::string letters;
    for (const TagSpec& tag : kHeaderTags) {
        longest = std::max(longest, tag.text.size());
        letters += {tag.text[1], static_cast<char>(std::tolower(static_cast<unsigned char>(tag.text[1])))};
    }
    EXPECT_EQ(kLongestTagLength, longest);
    for (int byte = 1; byte < 256; ++byte) {
        const bool initial = letters.find(static_cast<char>(byte)) != std::string::npos;
        EXPECT_EQ(kHeaderTagInitials.isInitial[static_cast<std::size_t>(byte)], initial) << byte;
    }
    EXPECT_FALSE(kHeaderTagInitials.isInitial[0]);
}

// The first position p > from with a LF before it, '#' at it and one of
// `letters` (lower case) in either case after it, read plainly.
std::size_t PlainCandidateLine(std::string_view buf, std::size_t from, std::string_view letters)
{
    for (std::size_t p = from + 1; p + 1 < buf.size(); ++p) {
        const char next = static_cast<char>(std::tolower(static_cast<unsigned char>(buf[p + 1])));
        if (buf[p - 1] == '\n' && buf[p] == '#' && IsAsciiLetter(next) && letters.find(next) != std::string_view::npos)
            return p;
    }
    return buf.size();
}

// First letters from both halves of the alphabet, either end of each (p is
// 0x70, o 0x6F, z 0x7A), for the vector finders' lookup by nibble.
constexpr std::array kOtherTags{TagSpec{"#PLAYLEVEL "},  TagSpec{"#SUBTITLE "}, TagSpec{"#BPM "},
                                TagSpec{"#DIFFICULTY "}, TagSpec{"#RANK "},     TagSpec{"#ZZ "},
                                TagSpec{"#QUUX "},       TagSpec{"#OOPS "},     TagSpec{"#TOTAL "}};
constexpr TagInitials kOtherInitials = MakeTagInitials(kOtherTags);

// Every finder against the plain reading, from every start, over random
// bytes of line ends, '#', the letters in both cases and bytes next to them
// or sharing a nibble with them.
template <const TagInitials& Initials>
void ExpectFindersAgree(std::string_view letters)
{
    std::string alphabet = "\n\n\n\n####09@`[{\x80\xC7\xD0\xF0\xE7 \r";
    for (const char c : letters)
        alphabet += {c, static_cast<char>(std::toupper(c)), static_cast<char>(c + 1), static_cast<char>(c - 1)};
    std::mt19937 random(17);
    for (int round = 0; round < 300; ++round) {
        std::string buf(random() % 200, ' ');
        for (char& c : buf)
            c = alphabet[random() % alphabet.size()];
        for (std::size_t from = 0; from < buf.size(); ++from) {
            const std::size_t want = PlainCandidateLine(buf, from, letters);
            ASSERT_EQ(FindCandidateLineScalar<Initials>(buf.data(), from, buf.size()), want) << from;
            ASSERT_EQ(FindCandidateLineSse2<Initials>(buf.data(), from, buf.size()), want) << from;
#if defined(__x86_64__)
            if (__builtin_cpu_supports("avx2")) {
                ASSERT_EQ(FindCandidateLineAvx2<Initials>(buf.data(), from, buf.size()), want) << from;
            }
#endif
        }
    }
}

TEST(HeaderReader, LineFindersAgreeForAnyFirstLetters)
{
    std::string initials;
    for (const TagSpec& tag : kHeaderTags) {
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(tag.text[1])));
        if (initials.find(lower) == std::string::npos)
            initials += lower;
    }
    ExpectFindersAgree<kHeaderTagInitials>(initials);
    ExpectFindersAgree<kOtherInitials>("psbdrzqot");
}

TEST(HeaderReader, TagIsCaseInsensitiveAndNeedsExactlyOneSpace)
{
    EXPECT_EQ(TitleOf("#TITLE Foo\r\n"), "Foo");
    EXPECT_EQ(TitleOf("#title Foo\r\n"), "Foo");
    EXPECT_EQ(TitleOf("#TiTlE Foo\n"), "Foo");
    EXPECT_EQ(TitleOf("#TITLE  Foo\r\n"), " Foo");
    EXPECT_EQ(TitleOf("#TITLE Foo  \r\n"), "Foo  ");
    EXPECT_EQ(TitleOf("#TITLE \r\n#BPM 1\r\n"), "");
    EXPECT_EQ(TitleOf("#TITLE\r\n"), "");
    EXPECT_EQ(TitleOf("#TITLE\tFoo\r\n"), "");
    EXPECT_EQ(TitleOf(" #TITLE Foo\r\n"), "");
    EXPECT_EQ(TitleOf("\t#TITLE Foo\r\n"), "");
    // Only ASCII letters fold: '@' and '`' differ by the same bit as 'A'/'a'.
    EXPECT_EQ(TitleOf("#TITLE@Foo\r\n"), "");
}

TEST(HeaderReader, OtherHeaderAndDataLinesNeverMatch)
{
    const Values v = ReadAllWays(
        "#ARTISTS X\r\n#BPM 120\r\n#PLAYER 1\r\n#00111:01\r\n#TOTAL 300\r\n#GENREX y\r\n#TITLEX z\r\n#ARTIS\r\n");
    EXPECT_EQ(v, (Values{"", "", ""}));
}

TEST(HeaderReader, LastMatchingLineWinsAndEveryTagIsRead)
{
    const Values v =
        ReadAllWays("#GENRE first\r\n#TITLE t1\r\n#ARTIST a\r\n#GENRE second\r\n#00111:01\r\n#title t2\r\n");
    EXPECT_EQ(v, (Values{"second", "t2", "a"}));
}

TEST(HeaderReader, LineEndsFollowTextModeRules)
{
    // CR LF is one line end; a lone CR stays in the line.
    EXPECT_EQ(TitleOf("#TITLE a\rb\r\n"), "a\rb");
    EXPECT_EQ(TitleOf("#TITLE a\r#ARTIST b\r\n"), "a\r#ARTIST b");
    // Only the CR right before LF goes.
    EXPECT_EQ(TitleOf("#TITLE a\r\r\n"), "a\r");
    // The last line needs no line end, and a CR at the very end stays.
    EXPECT_EQ(TitleOf("#BPM 1\r\n#TITLE end"), "end");
    EXPECT_EQ(TitleOf("#BPM 1\r\n#TITLE end\r"), "end\r");
    // A header line right after a lone CR is not a line start.
    EXPECT_EQ(TitleOf("#BPM 1\r#TITLE x\r\n"), "");
    // LF alone works too, and a LF CR pair leaves the CR at the next line start.
    EXPECT_EQ(TitleOf("#TITLE x\n\r#TITLE y\n"), "x");
}

TEST(HeaderReader, CtrlZEndsTheFile)
{
    EXPECT_EQ(TitleOf("#TITLE a\r\n\x1A#TITLE b\r\n"), "a");
    EXPECT_EQ(TitleOf("#TITLE a\x1A"
                      "bc\r\n"),
              "a");
    EXPECT_EQ(TitleOf("\x1A#TITLE a\r\n"), "");
}

TEST(HeaderReader, ValuesAreRawBytes)
{
    // Shift-JIS 隣町の蜃気楼 (trail bytes 0x43, 0x4F in the ASCII range) and a NUL.
    const std::string sjis = "\x97\xD7\x92\xAC\x82\xCC\x90\xE5\x8B\x43\x98\x4F";
    EXPECT_EQ(TitleOf("#TITLE " + sjis + "\r\n"), sjis);
    EXPECT_EQ(TitleOf(std::string("#TITLE a\0b\r\n", 12)), std::string("a\0b", 3));
}

TEST(HeaderReader, LongLinesAndLongFilesAcrossBlocks)
{
    std::string bytes = "#GENRE g\r\n";
    for (int i = 0; i < 5000; ++i)
        bytes += "#00" + std::to_string(i) + ":0101010101010101\r\n";
    const std::string longTitle(60000, 'x');
    bytes += "#TITLE " + longTitle + "\r\n";
    bytes += "#" + std::string(70000, 'T') + "\r\n";  // long line that is not a tag
    bytes += "#ARTIST last";
    const Values v = ReadAllWays(bytes);
    EXPECT_EQ(v, (Values{"g", longTitle, "last"}));
}

TEST(HeaderReader, OverlongValuesAreCutAtTheLimit)
{
    constexpr std::size_t kMax = HeaderReader::kMaxValueLength;
    const std::string exact(kMax, 'e');
    // A value of exactly the limit, with its CR LF split over blocks, is whole.
    EXPECT_EQ(TitleOf("#TITLE " + exact + "\r\n#ARTIST a\r\n"), exact);
    // A longer one is cut; the lines after it are read as usual.
    const Values v = ReadAllWays("#TITLE " + exact + "tail\r\n#ARTIST a\r\n#GENRE " + exact + "\rmore");
    EXPECT_EQ(v, (Values{exact, exact, "a"}));
    // A later, shorter line still replaces a cut value.
    EXPECT_EQ(TitleOf("#TITLE " + exact + exact + "\n#TITLE short\n"), "short");
}

TEST(HeaderReader, EmptyAndTaglessFilesGiveEmptyValues)
{
    EXPECT_EQ(ReadAllWays(""), (Values{"", "", ""}));
    EXPECT_EQ(ReadAllWays("#BPM 150\r\n#00111:01\r\n"), (Values{"", "", ""}));
}

TEST(HeaderReader, ThingsThatAreNotRegularFilesGiveEmptyValuesAtOnce)
{
    test::TestTree tree;
    tree.MakeFifo("fifo.bms");
    tree.MakeFolder("folder.bms");
    tree.MakeSymlink("nowhere.bms", "dangling.bms");
    HeaderReader reader;
    for (const char* name : {"fifo.bms", "folder.bms", "dangling.bms", "missing.bms"}) {
        TagTable tags;
        tags.Value(TagOf("#GENRE ")) = "stale";
        reader.ReadHeaders(tree.Path(name), tags);  // must not block on the FIFO
        EXPECT_EQ(ValuesOf(tags), (Values{"", "", ""})) << name;
    }
}

TEST(HeaderReader, UnreadableFileGivesEmptyValues)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root reads every file";
    test::TestTree tree;
    tree.WriteChart("locked.bms", "g", "t", "a");
    ::chmod(tree.Path("locked.bms").c_str(), 0);
    HeaderReader reader;
    TagTable tags;
    reader.ReadHeaders(tree.Path("locked.bms"), tags);
    EXPECT_EQ(ValuesOf(tags), (Values{"", "", ""}));
}

// Whether the device had to be waited for is told by the page cache: a
// chart whose pages were dropped waits, the same chart read again does not.
// Where the file system cannot tell, every read counts as waiting.
TEST(HeaderReader, ReadsNoteWhetherTheChartCameFromTheDevice)
{
    test::TestTree tree;
    const std::string bytes = "#TITLE t\r\n" + std::string(200000, 'x') + "\r\n#ARTIST a\r\n";
    // The probe goes to a twin on the same file system: a read that misses
    // the cache starts the kernel's read-ahead, which could bring the
    // chart's pages back before the reader gets to them.
    tree.WriteFile("c.bms", bytes);
    tree.WriteFile("twin.bms", bytes);
    for (const char* name : {"twin.bms", "c.bms"}) {
        const int fd = ::open(tree.Path(name).c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::fsync(fd), 0);
        ASSERT_EQ(::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED), 0);
        ::close(fd);
    }
    const int fd = ::open(tree.Path("twin.bms").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char byte = 0;
    iovec probe{&byte, 1};
    const ssize_t probed = ::preadv2(fd, &probe, 1, 0, RWF_NOWAIT);
    const int probeError = errno;
    ::close(fd);
    const bool canTell = probed >= 0 || probeError == EAGAIN;
    const bool dropped = probed < 0 && probeError == EAGAIN;

    HeaderReader reader;
    reader.NoteDeviceWaits();
    TagTable tags;
    reader.ReadHeaders(tree.Path("c.bms"), tags);
    EXPECT_EQ(ValuesOf(tags), (Values{"", "t", "a"}));
    if (dropped || !canTell) {
        EXPECT_TRUE(reader.TakeDeviceWait());
    }
    reader.TakeDeviceWait();
    reader.ReadHeaders(tree.Path("c.bms"), tags);
    EXPECT_EQ(ValuesOf(tags), (Values{"", "t", "a"}));
    EXPECT_EQ(reader.TakeDeviceWait(), !canTell);
}

}  // namespace
}  // namespace tamboro
