#include "search/HeaderReader.h"
#include "platform/DirectoryReader.h"
#include "platform/Eintr.h"
#include "search/BmsonReader.h"
#include "search/CandidateLineFinder.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace tamboro {
namespace {

constexpr char kCtrlZ = 0x1A;

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool TagMatches(const char* line, std::size_t len, std::string_view tag)
{
    if (len < tag.size())
        return false;
    for (std::size_t i = 0; i < tag.size(); ++i) {
        if (AsciiLower(line[i]) != AsciiLower(tag[i]))
            return false;
    }
    return true;
}

// True while the first `len` bytes of an unfinished line can still turn out
// to start with one of the tags.
bool MayStartWithTag(const char* line, std::size_t len)
{
    if (len == 0 || line[0] != '#')
        return false;
    for (const TagSpec& tag : kHeaderTags) {
        if (TagMatches(line, len, tag.text.substr(0, len)))
            return true;
    }
    return false;
}

// One complete line, without its line end. Data lines ("#00111:...") are
// passed over on their second byte, before any tag is compared.
void TakeLine(const char* line, std::size_t len, TagTable& tags)
{
    if (len < 2 || line[0] != '#' || !kHeaderTagInitials.isInitial[static_cast<unsigned char>(line[1])])
        return;
    for (std::size_t i = 0; i < kHeaderTags.size(); ++i) {
        const std::string_view tag = kHeaderTags[i].text;
        if (TagMatches(line, len, tag)) {
            // No tag starts another: they all end in their only space.
            tags.Value(static_cast<TagId>(i))
                .assign(line + tag.size(), std::min(len - tag.size(), HeaderReader::kMaxValueLength));
            return;
        }
    }
}

const FindCandidateFn FindCandidateLine = ChooseFindCandidate<kHeaderTagInitials>();

// Takes every complete line of buf[pos, end), pos being a line start, and
// returns the start of the unfinished line at the end (end when the block
// ends with a line end).
std::size_t TakeCompleteLines(const char* buf, std::size_t pos, std::size_t end, TagTable& tags)
{
    std::size_t p = pos;
    for (;;) {
        if (p < end && buf[p] == '#') {
            const void* lf = std::memchr(buf + p, '\n', end - p);
            if (lf == nullptr)
                return p;
            const std::size_t lfPos = static_cast<std::size_t>(static_cast<const char*>(lf) - buf);
            std::size_t len = lfPos - p;
            if (len > 0 && buf[p + len - 1] == '\r')
                --len;
            TakeLine(buf + p, len, tags);
            p = lfPos + 1;
            continue;
        }
        const std::size_t next = FindCandidateLine(buf, p, end);
        if (next < end) {
            p = next;
            continue;
        }
        const void* lastLf = ::memrchr(buf + p, '\n', end - p);
        if (lastLf == nullptr)
            return p;
        return static_cast<std::size_t>(static_cast<const char*>(lastLf) - buf) + 1;
    }
}

// A header line carried over from block to block is taken as soon as its
// value is longer than a value may be: the value is cut there and the rest
// of the line is passed over, so memory stays bounded on any file.
void TakeOverlongLine(const char* buf, std::size_t& carry, bool& skipping, TagTable& tags)
{
    if (carry <= kLongestTagLength + HeaderReader::kMaxValueLength + 1)
        return;
    TakeLine(buf, carry, tags);
    carry = 0;
    skipping = true;
}

}  // namespace

void HeaderReader::FreeDeleter::operator()(char* p) const
{
    std::free(p);
}

// A buffer of at least `size` bytes that keeps the bytes already in it.
char* HeaderReader::Buffer(std::size_t size)
{
    if (size > m_bufferSize) {
        constexpr std::size_t kAlign = 4096;
        const std::size_t rounded = std::max(size, 2 * m_bufferSize + kAlign) / kAlign * kAlign + kAlign;
        char* grown = static_cast<char*>(std::aligned_alloc(kAlign, rounded));
        if (grown == nullptr)
            throw std::bad_alloc();
        if (m_buffer)
            std::memcpy(grown, m_buffer.get(), m_bufferSize);
        m_buffer.reset(grown);
        m_bufferSize = rounded;
    }
    return m_buffer.get();
}

HeaderReader::HeaderReader(std::size_t blockSize) : m_blockSize(blockSize < 1 ? 1 : blockSize)
{}

HeaderReader::OpenFile::~OpenFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

int HeaderReader::ReadHeaders(const std::string& path, TagTable& tags, ChartHashes* hashes)
{
    return ReadHeaders(AT_FDCWD, path.c_str(), tags, false, hashes);
}

int HeaderReader::ReadHeaders(int dirFd, const char* name, TagTable& tags, bool listedAsRegular, ChartHashes* hashes)
{
    OpenFile file = Open(dirFd, name, listedAsRegular);
    Read(file, tags, hashes);
    return file.Error();
}

HeaderReader::OpenFile HeaderReader::Open(int dirFd, const char* name, bool listedAsRegular)
{
    OpenFile file;
    // Look before opening: opening a device can have effects of its own, and
    // a FIFO would block a plain open.
    struct stat st {};
    if (!listedAsRegular && (::fstatat(dirFd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)))
        return file;
    const int fd = RetryOnEintr([&] { return ::openat(dirFd, name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); });
    if (fd < 0) {
        file.m_error = IsOutOfDescriptors(errno) ? errno : 0;
        return file;
    }
    // The entry may have been replaced between the look and the open.
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return file;
    }
    file.m_fd = fd;
    file.m_status = st;
    file.m_bmson = IsBmsonName(name);
    return file;
}

void HeaderReader::Read(OpenFile& file, TagTable& tags, ChartHashes* hashes)
{
    tags.Clear();
    if (hashes != nullptr)
        hashes->Clear();
    m_lastReadWhole = false;
    if (!file.IsOpen())
        return;
    // A read that fails part way leaves the values empty, as a file that
    // cannot be opened does: that is not an error of the scan.
    m_lastReadWhole = (file.m_bmson ? ReadBmson(file.m_fd, tags, hashes) : ReadFromFd(file.m_fd, tags, hashes)) == 0;
    m_lastRead = file.m_status;
    ::close(std::exchange(file.m_fd, -1));
}

int HeaderReader::ReadBmson(int fd, TagTable& tags, ChartHashes* hashes)
{
    tags.Clear();
    if (hashes != nullptr) {
        hashes->Clear();
        Hash().Begin();
    }
    std::string bytes;
    bool tooLong = false;
    char* buf = Buffer(m_blockSize);
    for (;;) {
        const ssize_t got = RetryOnEintr([&] { return ::read(fd, buf, m_blockSize); });
        if (got < 0) {
            if (hashes != nullptr)
                hashes->Clear();
            return errno;
        }
        if (got == 0)
            break;
        const auto size = static_cast<std::size_t>(got);
        if (hashes != nullptr)
            m_hash->Update(buf, size);
        // The digests cover every byte; values come only from a file small
        // enough to parse.
        tooLong = tooLong || bytes.size() + size > kMaxBmsonBytes;
        if (tooLong)
            std::string().swap(bytes);
        else
            bytes.append(buf, size);
    }
    if (!tooLong)
        ParseBmson(bytes, tags);
    if (hashes != nullptr)
        m_hash->Finish(hashes->md5, hashes->sha256);
    return 0;
}

int HeaderReader::ReadFromFd(int fd, TagTable& tags, ChartHashes* hashes)
{
    if (m_noteDeviceWaits) {
        struct Context {
            int fd;
            HeaderReader* reader;
        } context{fd, this};
        const auto readNotingWaits = [](void* p, char* buffer, std::size_t size, std::size_t& got) {
            auto& c = *static_cast<Context*>(p);
            return c.reader->m_cachedRead.Read(c.fd, buffer, size, got, c.reader->m_waitedForDevice);
        };
        return ReadBlocks(readNotingWaits, &context, tags, hashes);
    }
    const auto readFd = [](void* context, char* buffer, std::size_t size, std::size_t& got) {
        const ssize_t n = RetryOnEintr([&] { return ::read(*static_cast<int*>(context), buffer, size); });
        if (n < 0)
            return errno;
        got = static_cast<std::size_t>(n);
        return 0;
    };
    return ReadBlocks(readFd, &fd, tags, hashes);
}

void HeaderReader::ReadFromMemory(std::string_view bytes, TagTable& tags, ChartHashes* hashes)
{
    const auto readMemory = [](void* context, char* buffer, std::size_t size, std::size_t& got) {
        auto& rest = *static_cast<std::string_view*>(context);
        got = std::min(size, rest.size());
        if (got > 0)
            std::memcpy(buffer, rest.data(), got);
        rest.remove_prefix(got);
        return 0;
    };
    // Bytes in memory never fail to read.
    static_cast<void>(ReadBlocks(readMemory, &bytes, tags, hashes));
}

FileHash& HeaderReader::Hash()
{
    if (!m_hash)
        m_hash = std::make_unique<FileHash>();
    return *m_hash;
}

int HeaderReader::HashToEnd(BlockSource source, void* context, std::size_t keep)
{
    char* buf = Buffer(keep + m_blockSize) + keep;
    for (;;) {
        std::size_t got = 0;
        if (const int error = source(context, buf, m_blockSize, got))
            return error;
        if (got == 0)
            return 0;
        m_hash->Update(buf, got);
    }
}

int HeaderReader::ReadBlocks(BlockSource source, void* context, TagTable& tags, ChartHashes* hashes)
{
    tags.Clear();
    if (hashes != nullptr) {
        hashes->Clear();
        Hash().Begin();
    }
    const int error = ReadLines(source, context, tags, hashes != nullptr);
    if (error != 0) {
        tags.Clear();
        return error;
    }
    if (hashes != nullptr)
        m_hash->Finish(hashes->md5, hashes->sha256);
    return 0;
}

int HeaderReader::ReadLines(BlockSource source, void* context, TagTable& tags, bool hashing)
{
    std::size_t carry = 0;  // unfinished line kept from the previous block
    bool skipping = false;  // inside a line that cannot be a header line
    bool atEnd = false;
    while (!atEnd) {
        char* buf = Buffer(carry + m_blockSize);
        std::size_t got = 0;
        if (const int error = source(context, buf + carry, m_blockSize, got))
            return error;
        if (hashing)
            m_hash->Update(buf + carry, got);
        std::size_t end = carry + got;
        if (got == 0) {
            atEnd = true;
        } else if (const void* z = std::memchr(buf + carry, kCtrlZ, got)) {
            end = static_cast<std::size_t>(static_cast<const char*>(z) - buf);
            atEnd = true;
            // The lines end here, the file's bytes do not: the digests
            // cover them all.
            if (hashing) {
                if (const int error = HashToEnd(source, context, carry + got))
                    return error;
                buf = m_buffer.get();
            }
        }
        if (carry > 0 && !atEnd && std::memchr(buf + carry, '\n', end - carry) == nullptr) {
            // The carried line goes on past this block too. Its older bytes
            // were looked through already: keep it without going over it
            // again, so that a very long header line costs time in
            // proportion to its length, not to its square.
            if (MayStartWithTag(buf, end)) {
                carry = end;
                TakeOverlongLine(buf, carry, skipping, tags);
            } else {
                carry = 0;
                skipping = true;
            }
            continue;
        }
        std::size_t pos = 0;
        if (skipping) {
            const void* lf = std::memchr(buf, '\n', end);
            if (lf == nullptr) {
                carry = 0;
                continue;
            }
            pos = static_cast<std::size_t>(static_cast<const char*>(lf) - buf) + 1;
            skipping = false;
        }
        const std::size_t tail = TakeCompleteLines(buf, pos, end, tags);
        if (atEnd) {
            // The last line has no line end: a CR at its end stays in it.
            TakeLine(buf + tail, end - tail, tags);
            break;
        }
        const std::size_t tailLen = end - tail;
        if (MayStartWithTag(buf + tail, tailLen)) {
            std::memmove(buf, buf + tail, tailLen);
            carry = tailLen;
            TakeOverlongLine(buf, carry, skipping, tags);
        } else {
            carry = 0;
            skipping = tailLen > 0;
        }
    }
    return 0;
}

void HeaderReader::ParseBytes(std::string_view bytes, TagTable& tags)
{
    tags.Clear();
    if (const void* z = std::memchr(bytes.data(), kCtrlZ, bytes.size()))
        bytes = bytes.substr(0, static_cast<std::size_t>(static_cast<const char*>(z) - bytes.data()));
    ParseLines(bytes, tags);
}

void HeaderReader::ParseLines(std::string_view lines, TagTable& tags)
{
    const std::size_t tail = TakeCompleteLines(lines.data(), 0, lines.size(), tags);
    TakeLine(lines.data() + tail, lines.size() - tail, tags);
}

}  // namespace tamboro
