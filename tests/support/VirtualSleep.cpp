// Loaded into a program with LD_PRELOAD, makes SQLite's sleeps (usleep) take
// no time while the monotonic clock moves on by what they asked for, so that
// a test sees how long a program would have waited without waiting. At exit
// the total is written, as "slept N ms", to the file $VIRTUAL_SLEEP_LOG.
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <unistd.h>

namespace {

std::atomic<int64_t> g_sleptNs{0};

struct Report {
    ~Report()
    {
        if (const char* log = std::getenv("VIRTUAL_SLEEP_LOG")) {
            if (FILE* file = std::fopen(log, "w")) {
                std::fprintf(file, "slept %lld ms\n", static_cast<long long>(g_sleptNs.load() / 1'000'000));
                std::fclose(file);
            }
        }
    }
} g_report;

}  // namespace

extern "C" {

int usleep(useconds_t microseconds)
{
    g_sleptNs.fetch_add(int64_t{microseconds} * 1000);
    return 0;
}

int clock_gettime(clockid_t clock, timespec* time)
{
    static const auto next = reinterpret_cast<int (*)(clockid_t, timespec*)>(::dlsym(RTLD_NEXT, "clock_gettime"));
    const int result = next(clock, time);
    if (result == 0 && clock == CLOCK_MONOTONIC) {
        const int64_t ns = time->tv_sec * int64_t{1'000'000'000} + time->tv_nsec + g_sleptNs.load();
        time->tv_sec = ns / 1'000'000'000;
        time->tv_nsec = ns % 1'000'000'000;
    }
    return result;
}
}
