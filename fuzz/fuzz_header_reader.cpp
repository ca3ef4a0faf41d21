// Fuzz target for the chart header reader.
//
// The input is the whole content of one chart file. Its values are read
//  - by a deliberately plain reference reading written below (split at LF,
//    one line at a time, no buffering tricks),
//  - by HeaderReader::ParseBytes over the bytes in memory,
//  - by HeaderReader::ReadFromFd from a memory file, with two block sizes
//    derived from the input (so that line ends, CR LF pairs, tags and Ctrl-Z
//    fall across block boundaries in many ways), and with one reader that is
//    kept from input to input (its buffer and carried state must never leak
//    into the next file),
//  - by HeaderReader::ReadHeaders through a path naming the same file, with
//    and without a look at the entry before opening it,
// and every reading must give the same three values.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/mman.h>
#include <unistd.h>

#include "search/HeaderReader.h"

namespace {

using tamboro::HeaderReader;
using tamboro::MakeTagTable;
using tamboro::TagTable;

struct Values {
    std::string genre, title, artist;
    bool operator==(const Values&) const = default;
};

Values ValuesOf(const TagTable& tags)
{
    return {tags[1].value, tags[2].value, tags[3].value};
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
        if (StartsWithTagIgnoringAsciiCase(line, "#GENRE "))
            values.genre = std::string(line.substr(7, kMaxValue));
        if (StartsWithTagIgnoringAsciiCase(line, "#TITLE "))
            values.title = std::string(line.substr(7, kMaxValue));
        if (StartsWithTagIgnoringAsciiCase(line, "#ARTIST "))
            values.artist = std::string(line.substr(8, kMaxValue));
        if (lf == std::string_view::npos)
            break;
        start = lf + 1;
    }
    return values;
}

void PrintField(const char* name, const std::string& value)
{
    std::fprintf(stderr, "  %s (%zu bytes): \"", name, value.size());
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
    std::fprintf(stderr, "header reader disagrees with the reference reading (%s, block size %zu)\n", how,
                 blockSize);
    PrintField("expected genre", expected.genre);
    PrintField("got genre     ", got.genre);
    PrintField("expected title", expected.title);
    PrintField("got title     ", got.title);
    PrintField("expected artist", expected.artist);
    PrintField("got artist     ", got.artist);
    std::abort();
}

// Values left over from a previous file that every reading must clear.
TagTable StaleTable()
{
    TagTable tags = MakeTagTable();
    tags[1].value = "stale genre";
    tags[2].value = "stale title";
    tags[3].value = "stale artist";
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
    if (!reader.ReadFromFd(fd, tags)) {
        std::fprintf(stderr, "ReadFromFd reported a read error on a memory file\n");
        std::abort();
    }
    ExpectSame(expected, ValuesOf(tags), "ReadFromFd", blockSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const Values expected = ReferenceReading(bytes);

    TagTable parsed = StaleTable();
    HeaderReader::ParseBytes(bytes, parsed);
    ExpectSame(expected, ValuesOf(parsed), "ParseBytes", 0);

    const int fd = MemoryFile();
    WriteMemoryFile(fd, data, size);

    // A tiny block (1 to 16 bytes) and a middling one (17 to 1040 bytes),
    // both chosen by the input's bytes.
    const uint64_t h = Fnv1a(data, size);
    const std::size_t smallBlock = 1 + h % 16;
    const std::size_t middleBlock = 17 + (h >> 8) % 1024;
    for (const std::size_t blockSize : {smallBlock, middleBlock}) {
        HeaderReader reader(blockSize);
        ReadWithBlockSize(reader, fd, expected, blockSize);
    }
    // One reader for all inputs, with a block size that is not a power of
    // two, reads files of every kind one after the other.
    static HeaderReader kept(61);
    ReadWithBlockSize(kept, fd, expected, 61);

    // The path forms: looking at the entry first, or trusting a listing
    // that said it is a regular file; both open it and read it with the
    // default block size.
    static HeaderReader byPath;
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    TagTable tags = StaleTable();
    byPath.ReadHeaders(path, tags);
    ExpectSame(expected, ValuesOf(tags), "ReadHeaders", HeaderReader::kDefaultBlockSize);
    tags = StaleTable();
    byPath.ReadHeaders(AT_FDCWD, path.c_str(), tags, true);
    ExpectSame(expected, ValuesOf(tags), "ReadHeaders of a listed file", HeaderReader::kDefaultBlockSize);
    return 0;
}
