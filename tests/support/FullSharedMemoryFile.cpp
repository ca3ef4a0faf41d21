// Loaded into a program with LD_PRELOAD, makes the file system look full to
// SQLite's shared-memory file of a write-ahead log (a name ending in
// "-shm"): SQLite's writes to it and its sizing of it (pwrite64,
// ftruncate64) fail with ENOSPC, while every other file is written as usual.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dlfcn.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

bool IsSharedMemoryFile(int fd)
{
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t length = ::readlink(link, target, sizeof target);
    if (length < 4 || std::memcmp(target + length - 4, "-shm", 4) != 0)
        return false;
    errno = ENOSPC;
    return true;
}

template <typename Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

ssize_t pwrite64(int fd, const void* bytes, size_t count, off64_t offset)
{
    static const auto next = Next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    return IsSharedMemoryFile(fd) ? -1 : next(fd, bytes, count, offset);
}

int ftruncate64(int fd, off64_t length)
{
    static const auto next = Next<int (*)(int, off64_t)>("ftruncate64");
    return IsSharedMemoryFile(fd) ? -1 : next(fd, length);
}
}
