// Loaded into a program with LD_PRELOAD, makes every file time it looks at
// whole seconds, as a file system with a clock of one second gives them:
// fstat and fstatat (and their 64-bit names) report the modification,
// change and access times without nanoseconds.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

static_assert(sizeof(struct stat) == sizeof(struct stat64));

void Coarsen(struct stat* st)
{
    st->st_atim.tv_nsec = 0;
    st->st_mtim.tv_nsec = 0;
    st->st_ctim.tv_nsec = 0;
}

template <typename Function>
Function Next(const char* name)
{
    return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" {

int fstatat(int dirFd, const char* name, struct stat* st, int flags)
{
    static const auto next = Next<int (*)(int, const char*, struct stat*, int)>("fstatat");
    const int result = next(dirFd, name, st, flags);
    if (result == 0)
        Coarsen(st);
    return result;
}

// On 64-bit systems struct stat64 is struct stat.
int fstatat64(int dirFd, const char* name, struct stat64* st, int flags)
{
    return fstatat(dirFd, name, reinterpret_cast<struct stat*>(st), flags);
}

int fstat(int fd, struct stat* st)
{
    static const auto next = Next<int (*)(int, struct stat*)>("fstat");
    const int result = next(fd, st);
    if (result == 0)
        Coarsen(st);
    return result;
}

int fstat64(int fd, struct stat64* st)
{
    return fstat(fd, reinterpret_cast<struct stat*>(st));
}
}
