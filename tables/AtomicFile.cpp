#include "tables/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/Eintr.h"

namespace tamboro {
namespace {

int WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t wrote = RetryOnEintr([&] { return ::write(fd, bytes.data(), bytes.size()); });
        if (wrote < 0)
            return errno;
        bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return 0;
}

}  // namespace

int WriteFileAtomically(const std::string& path, std::string_view bytes, mode_t mode)
{
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    std::vector<char> temporary(pattern.begin(), pattern.end());
    temporary.push_back('\0');
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    int error = ::fchmod(fd, mode) == 0 ? 0 : errno;
    if (error == 0)
        error = WriteAll(fd, bytes);
    if (error == 0 && ::fsync(fd) != 0)
        error = errno;
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0 && ::rename(temporary.data(), path.c_str()) != 0)
        error = errno;
    if (error != 0)
        ::unlink(temporary.data());
    return error;
}

}  // namespace tamboro
