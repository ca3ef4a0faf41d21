// Loaded into a program with LD_PRELOAD, makes its sleeps take no time while
// its monotonic clock moves on by what they asked for, so that a test sees
// how long a program would have waited without waiting. At exit the total
// is written, as "slept N ms", to the file named by $VIRTUAL_SLEEP_LOG.
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dlfcn.h>
#include <unistd.h>

namespace {

std::atomic<int64_t> g_sleptNs{0};

int64_t NsOf(const timespec& time)
{
    return static_cast<int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

void Slept(int64_t ns)
{
    if (ns > 0)
        g_sleptNs.fetch_add(ns);
}

struct Report {
    ~Report()
    {
        const char* log = std::getenv("VIRTUAL_SLEEP_LOG");
        if (log == nullptr)
            return;
        if (FILE* file = std::fopen(log, "w")) {
            std::fprintf(file, "slept %lld ms\n", static_cast<long long>(g_sleptNs.load() / 1'000'000));
            std::fclose(file);
        }
    }
} g_report;

}  // namespace

extern "C" {

int usleep(useconds_t microseconds)
{
    Slept(int64_t{microseconds} * 1000);
    return 0;
}

int nanosleep(const timespec* request, timespec* remaining)
{
    Slept(NsOf(*request));
    if (remaining != nullptr)
        *remaining = {};
    return 0;
}

int clock_nanosleep(clockid_t clock, int flags, const timespec* request, timespec* remaining)
{
    if (flags & TIMER_ABSTIME) {
        timespec now{};
        clock_gettime(clock, &now);
        Slept(NsOf(*request) - NsOf(now));
    } else {
        Slept(NsOf(*request));
    }
    if (remaining != nullptr)
        *remaining = {};
    return 0;
}

int clock_gettime(clockid_t clock, timespec* time)
{
    static const auto next = reinterpret_cast<int (*)(clockid_t, timespec*)>(::dlsym(RTLD_NEXT, "clock_gettime"));
    const int result = next(clock, time);
    const bool monotonic = clock == CLOCK_MONOTONIC || clock == CLOCK_MONOTONIC_RAW ||
                           clock == CLOCK_MONOTONIC_COARSE || clock == CLOCK_BOOTTIME;
    if (result == 0 && monotonic) {
        const int64_t ns = NsOf(*time) + g_sleptNs.load();
        time->tv_sec = ns / 1'000'000'000;
        time->tv_nsec = ns % 1'000'000'000;
    }
    return result;
}
}
