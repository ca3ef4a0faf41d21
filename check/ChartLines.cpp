#include "check/ChartLines.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/Eintr.h"

// XXH3 built in from its header, as the index's checks are.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace tamboro {
namespace {

constexpr char kCtrlZ = 0x1A;

// Closes a descriptor when it goes.
struct OpenFd {
    int fd;
    ~OpenFd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

}  // namespace

struct ChartLines::Buffer {
    // An unfinished line carried from the block before, then the new block.
    std::string bytes = std::string(2 * kBlockBytes, '\0');
    XXH3_state_t hash;
};

ChartLines::ChartLines() : m_buffer(std::make_unique<Buffer>())
{}

ChartLines::~ChartLines() = default;

ChartLines::Result ChartLines::Read(int dirFd, const char* name, const std::function<void(std::string_view)>& take)
{
    Result result;
    const OpenFd file{
        RetryOnEintr([&] { return ::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); })};
    if (file.fd < 0) {
        result.error = errno;
        return result;
    }
    struct stat opened {};
    if (::fstat(file.fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        result.error = S_ISREG(opened.st_mode) ? errno : EINVAL;
        return result;
    }
    if (opened.st_size > kMaxChartBytes) {
        result.tooLarge = true;
        result.size = opened.st_size;
        return result;
    }
    XXH3_64bits_reset(&m_buffer->hash);
    char* const buf = m_buffer->bytes.data();
    std::size_t carry = 0;    // bytes of an unfinished line at buf's start
    bool skipping = false;    // passing over the rest of a line cut short
    bool linesEnded = false;  // a Ctrl-Z was met
    for (;;) {
        const ssize_t got = RetryOnEintr([&] { return ::read(file.fd, buf + carry, kBlockBytes); });
        if (got < 0) {
            result.error = errno;
            return result;
        }
        result.size += got;
        if (result.size > kMaxChartBytes) {
            result.tooLarge = true;
            return result;
        }
        XXH3_64bits_update(&m_buffer->hash, buf + carry, static_cast<std::size_t>(got));
        if (linesEnded) {
            if (got == 0)
                break;
            continue;
        }
        std::size_t end = carry + static_cast<std::size_t>(got);
        if (const void* z = std::memchr(buf + carry, kCtrlZ, static_cast<std::size_t>(got))) {
            end = static_cast<std::size_t>(static_cast<const char*>(z) - buf);
            linesEnded = true;
        }
        std::size_t start = 0;
        if (skipping) {
            const void* lf = std::memchr(buf, '\n', end);
            if (lf == nullptr && got > 0 && !linesEnded)
                continue;
            start = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - buf) + 1 : end;
            skipping = false;
        }
        if (got == 0 || linesEnded) {
            // The last line, without a line end.
            if (start < end)
                take(std::string_view(buf + start, end - start));
            if (got == 0)
                break;
            carry = 0;
            continue;
        }
        const void* lastLf = ::memrchr(buf + start, '\n', end - start);
        const std::size_t tail =
            lastLf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lastLf) - buf) + 1 : start;
        if (tail > start)
            take(std::string_view(buf + start, tail - start));
        carry = end - tail;
        std::memmove(buf, buf + tail, carry);
        if (carry >= kBlockBytes) {
            // One line as long as a block: taken as far as it goes, the
            // rest passed over.
            take(std::string_view(buf, carry));
            carry = 0;
            skipping = true;
        }
    }
    result.quickHash = XXH3_64bits_digest(&m_buffer->hash);
    return result;
}

}  // namespace tamboro
