// Loaded into a program with LD_PRELOAD, makes some of its thread starts
// fail as they do when the system has no room for another thread:
// pthread_create returns EAGAIN for the calls numbered FIRST to LAST (from
// 1, in the order the process makes them) of FAIL_THREAD_START="FIRST-LAST".
// Every other call starts its thread as usual.
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <pthread.h>

namespace {

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

bool CallFails(long call)
{
    long first = 0;
    long last = -1;
    if (const char* range = std::getenv("FAIL_THREAD_START"))
        std::sscanf(range, "%ld-%ld", &first, &last);
    return call >= first && call <= last;
}

}  // namespace

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*),
                              void* argument)
{
    static std::atomic<long> calls{0};
    static const auto next = reinterpret_cast<CreateFunction>(::dlsym(RTLD_NEXT, "pthread_create"));
    if (CallFails(++calls))
        return EAGAIN;
    return next(thread, attributes, start, argument);
}
