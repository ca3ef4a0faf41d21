#include "platform/CachedRead.h"

#include <cerrno>
#include <sys/uio.h>
#include <unistd.h>

#include "platform/Eintr.h"

namespace tamboro {

int CachedRead::Read(int fd, char* buffer, std::size_t size, std::size_t& got, bool& waited)
{
    if (m_canTell) {
        iovec vector{buffer, size};
        // Offset -1: at the file's position, which the read moves on.
        const ssize_t n = RetryOnEintr([&] { return ::preadv2(fd, &vector, 1, -1, RWF_NOWAIT); });
        if (n >= 0) {
            got = static_cast<std::size_t>(n);
            return 0;
        }
        // The flag not known to this kernel or file system: it cannot say.
        // Any other failure is left to the plain read below to report.
        if (errno == EOPNOTSUPP || errno == EINVAL || errno == ENOSYS)
            m_canTell = false;
    }
    waited = true;
    const ssize_t n = RetryOnEintr([&] { return ::read(fd, buffer, size); });
    if (n < 0)
        return errno;
    got = static_cast<std::size_t>(n);
    return 0;
}

}  // namespace tamboro
