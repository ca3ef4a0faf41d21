// Fuzz target for the chart header reader.
//
// The input is the whole content of one chart file. A deliberately plain
// reference reading written below (split at LF, one line at a time, no
// buffering tricks) gives the expected values, and one of these readings,
// picked by the input's hash, must give the same value for every tag:
//  - HeaderReader::ParseBytes over the bytes in one piece,
//  - HeaderReader::ReadFromMemory, the block loop files are read with, fed
//    from memory, with a tiny (1 to 16 bytes) or a middling (17 to 1040
//    bytes, below the input's size where it can be) block size derived
//    from the input, so that line ends, CR LF pairs, tags and Ctrl-Z fall
//    across block boundaries in many ways,
//  - the same with a block of 61 bytes through one reader that reads every
//    input (its buffer and carried state must never leak into the next file).
// Readers are kept per block size, as a scan keeps its reader. These
// readings make no system call; one input in kFileShare (again by its hash)
// and every input of a corpus replay also go through the file forms:
//  - HeaderReader::ReadFromFd from a memory file, with the middling block
//    size and with the reader of 61-byte blocks (tiny blocks would cost a
//    system call per few bytes; their loop is the one fed from memory),
//  - HeaderReader::ReadHeaders through a path naming the same file, with
//    and without a look at the entry before opening it.
// A replay sends every input through every reading.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

#include "search/HeaderReader.h"

namespace {

using tamboro::HeaderReader;
using tamboro::kHeaderTags;
using tamboro::TagId;
using tamboro::TagTable;

// Views, one per tag of the list: the reference reading points into the
// input, a reader's values into its tag table, so that comparing them
// allocates nothing.
using Values = std::array<std::string_view, kHeaderTags.size()>;

Values ValuesOf(const TagTable& tags)
{
    Values values;
    for (std::size_t i = 0; i < values.size(); ++i)
        values[i] = tags.Value(static_cast<TagId>(i));
    return values;
}

bool StartsWithTagIgnoringAsciiCase(std::string_view line, std::string_view tag)
{
    if (line.size() < tag.size())
        return false;
    for (std::size_t i = 0; i < tag.size(); ++i) {
        char c = line[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        if (c != tag[i])
            return false;
    }
    return true;
}

// The rules, read as plainly as possible: Ctrl-Z ends the file; LF ends a
// line; a CR directly before that LF is not part of the line (a CR anywhere
// else is); a line starting with a tag, letters in any case, gives that tag
// the rest of the line, cut after the value limit; the last such line wins.
constexpr std::size_t kMaxValue = tamboro::HeaderReader::kMaxValueLength;

Values ReferenceReading(std::string_view bytes)
{
    const std::size_t ctrlZ = bytes.find('\x1A');
    if (ctrlZ != std::string_view::npos)
        bytes = bytes.substr(0, ctrlZ);
    Values values;
    std::size_t start = 0;
    while (start <= bytes.size()) {
        const std::size_t lf = bytes.find('\n', start);
        std::string_view line;
        if (lf == std::string_view::npos) {
            line = bytes.substr(start);
        } else {
            line = bytes.substr(start, lf - start);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
        }
        for (std::size_t i = 0; i < kHeaderTags.size(); ++i) {
            if (StartsWithTagIgnoringAsciiCase(line, kHeaderTags[i].text))
                values[i] = line.substr(kHeaderTags[i].text.size(), kMaxValue);
        }
        if (lf == std::string_view::npos)
            break;
        start = lf + 1;
    }
    return values;
}

void PrintField(const char* name, std::string_view tag, std::string_view value)
{
    std::fprintf(stderr, "  %s %.*s(%zu bytes): \"", name, static_cast<int>(tag.size()), tag.data(), value.size());
    for (const char c : value.substr(0, 200)) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x20 && u < 0x7F && c != '"' && c != '\\')
            std::fputc(c, stderr);
        else
            std::fprintf(stderr, "\\x%02X", u);
    }
    std::fputs(value.size() > 200 ? "\"...\n" : "\"\n", stderr);
}

void ExpectSame(const Values& expected, const Values& got, const char* how, std::size_t blockSize)
{
    if (got == expected)
        return;
    std::fprintf(stderr, "header reader disagrees with the reference reading (%s, block size %zu)\n", how, blockSize);
    for (std::size_t i = 0; i < kHeaderTags.size(); ++i) {
        PrintField("expected", kHeaderTags[i].text, expected[i]);
        PrintField("got     ", kHeaderTags[i].text, got[i]);
    }
    std::abort();
}

// Values left over from a previous file that every reading must clear.
TagTable StaleTable()
{
    TagTable tags;
    for (std::size_t i = 0; i < kHeaderTags.size(); ++i)
        tags.Value(static_cast<TagId>(i)) = "stale " + std::string(kHeaderTags[i].text);
    return tags;
}

uint64_t Fnv1a(const uint8_t* data, std::size_t size)
{
    uint64_t h = 1469598103934665603ull;
    for (std::size_t i = 0; i < size; ++i) {
        h ^= data[i];
        h *= 1099511628211ull;
    }
    return h;
}

int MemoryFile()
{
    static const int fd = [] {
        const int made = ::memfd_create("fuzz_chart", MFD_CLOEXEC);
        if (made < 0) {
            std::perror("memfd_create");
            std::abort();
        }
        return made;
    }();
    return fd;
}

void WriteMemoryFile(int fd, const uint8_t* data, std::size_t size)
{
    if (::ftruncate(fd, 0) != 0)
        std::abort();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0)
            std::abort();
        done += static_cast<std::size_t>(n);
    }
}

void ReadWithBlockSize(HeaderReader& reader, int fd, const Values& expected, std::size_t blockSize)
{
    if (::lseek(fd, 0, SEEK_SET) != 0)
        std::abort();
    TagTable tags = StaleTable();
    if (reader.ReadFromFd(fd, tags) != 0) {
        std::fprintf(stderr, "ReadFromFd reported a read error on a memory file\n");
        std::abort();
    }
    ExpectSame(expected, ValuesOf(tags), "ReadFromFd", blockSize);
}

void ReadFromMemoryWithBlockSize(HeaderReader& reader, std::string_view bytes, const Values& expected,
                                 std::size_t blockSize)
{
    TagTable tags = StaleTable();
    reader.ReadFromMemory(bytes, tags);
    ExpectSame(expected, ValuesOf(tags), "ReadFromMemory", blockSize);
}

// One reader per block size, kept from input to input like the reader of a
// scan: making a fresh one per input would spend the run in the allocator
// and in page faults rather than in the reader.
HeaderReader& ReaderWithBlockSize(std::size_t blockSize)
{
    static std::vector<std::unique_ptr<HeaderReader>> readers(1041);
    std::unique_ptr<HeaderReader>& reader = readers.at(blockSize);
    if (!reader)
        reader = std::make_unique<HeaderReader>(blockSize);
    return *reader;
}

// The file forms, for the inputs that go through a real file.
void ReadThroughFiles(const uint8_t* data, std::size_t size, const Values& expected, HeaderReader& kept,
                      std::size_t middleBlock)
{
    const int fd = MemoryFile();
    WriteMemoryFile(fd, data, size);
    ReadWithBlockSize(ReaderWithBlockSize(middleBlock), fd, expected, middleBlock);
    ReadWithBlockSize(kept, fd, expected, 61);

    // Looking at the entry first, or trusting a listing that said it is a
    // regular file; both open it and read it with the default block size.
    static HeaderReader byPath;
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    TagTable tags = StaleTable();
    byPath.ReadHeaders(path, tags);
    ExpectSame(expected, ValuesOf(tags), "ReadHeaders", HeaderReader::kDefaultBlockSize);
    tags = StaleTable();
    byPath.ReadHeaders(AT_FDCWD, path.c_str(), tags, true);
    ExpectSame(expected, ValuesOf(tags), "ReadHeaders of a listed file", HeaderReader::kDefaultBlockSize);
}

#ifdef TAMBORO_FUZZ_REPLAY
constexpr uint64_t kFileShare = 1;
#else
constexpr uint64_t kFileShare = 64;
#endif

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Values expected = ReferenceReading(bytes);

    // A tiny block (1 to 16 bytes) and a middling one (17 to 1040 bytes,
    // shorter than the input where it can be, so that it too meets block
    // boundaries), both chosen by the input's bytes.
    const uint64_t h = Fnv1a(data, size);
    const std::size_t smallBlock = 1 + h % 16;
    const std::size_t middleBlock = 17 + (h >> 8) % std::clamp<std::size_t>(size, 1, 1024);
    // One more reader, with a block size that is not a power of two, reads
    // files of every kind one after the other.
    static HeaderReader kept(61);

    // Each input goes through one of the in-memory readings (every one in a
    // replay), so that a run makes many executions while mutations of an
    // input reach all four. Tiny blocks cost a call per few bytes: they get
    // one input in eight, the other readings the rest.
    const uint64_t pick = (h >> 20) % 8;
    const bool all = kFileShare == 1;
    if (all || pick < 2) {
        TagTable parsed = StaleTable();
        HeaderReader::ParseBytes(bytes, parsed);
        ExpectSame(expected, ValuesOf(parsed), "ParseBytes", 0);
    }
    if (all || pick == 2)
        ReadFromMemoryWithBlockSize(ReaderWithBlockSize(smallBlock), bytes, expected, smallBlock);
    if (all || (pick >= 3 && pick < 6))
        ReadFromMemoryWithBlockSize(ReaderWithBlockSize(middleBlock), bytes, expected, middleBlock);
    if (all || pick >= 6)
        ReadFromMemoryWithBlockSize(kept, bytes, expected, 61);

    if ((h >> 32) % kFileShare == 0)
        ReadThroughFiles(data, size, expected, kept, middleBlock);
    return 0;
}
