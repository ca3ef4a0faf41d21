// Loaded into a program with LD_PRELOAD, makes the file system look full to
// SQLite's shared-memory file of a write-ahead log (a name ending in
// "-shm"): writes to it and attempts to size it fail with ENOSPC, as on a
// full disk, while every other file is written as usual.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

bool IsSharedMemoryFile(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t length = ::readlink(link, target, sizeof target);
    return length >= 4 && std::memcmp(target + length - 4, "-shm", 4) == 0;
}

template <typename Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

#define REFUSE_ON_SHM(fd)                                                                                              \
    if (IsSharedMemoryFile(fd)) {                                                                                      \
        errno = ENOSPC;                                                                                                \
        return -1;                                                                                                     \
    }

extern "C" {

ssize_t write(int fd, const void* bytes, size_t count)
{
    static const auto next = Next<ssize_t (*)(int, const void*, size_t)>("write");
    REFUSE_ON_SHM(fd);
    return next(fd, bytes, count);
}

ssize_t pwrite(int fd, const void* bytes, size_t count, off_t offset)
{
    static const auto next = Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    REFUSE_ON_SHM(fd);
    return next(fd, bytes, count, offset);
}

ssize_t pwrite64(int fd, const void* bytes, size_t count, off64_t offset)
{
    static const auto next = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    REFUSE_ON_SHM(fd);
    return next(fd, bytes, count, offset);
}

int ftruncate(int fd, off_t length)
{
    static const auto next = Next<int (*)(int, off_t)>("ftruncate");
    REFUSE_ON_SHM(fd);
    return next(fd, length);
}

int ftruncate64(int fd, off64_t length)
{
    static const auto next = Next<int (*)(int, off64_t)>("ftruncate64");
    REFUSE_ON_SHM(fd);
    return next(fd, length);
}

int fallocate(int fd, int mode, off_t offset, off_t length)
{
    static const auto next = Next<int (*)(int, int, off_t, off_t)>("fallocate");
    REFUSE_ON_SHM(fd);
    return next(fd, mode, offset, length);
}

int posix_fallocate(int fd, off_t offset, off_t length)
{
    static const auto next = Next<int (*)(int, off_t, off_t)>("posix_fallocate");
    return IsSharedMemoryFile(fd) ? ENOSPC : next(fd, offset, length);
}
}
