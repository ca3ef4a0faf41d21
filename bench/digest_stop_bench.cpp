// The wait of the window when it ends the background hashing of listed
// charts (a new search, the window closed) while a large chart is being
// hashed: a DigestFiller is started on FILE and, once the process has read
// 64 MB of it, deleted, as DigestColumns::Stop does; the deletion is timed.
//   tamboro-digest-stop-bench FILE [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "worker/DigestFiller.h"

namespace {

// Bytes the process has read so far (/proc/self/io, every thread).
long long BytesRead()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value) {
        if (key == "rchar:")
            return value;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: tamboro-digest-stop-bench FILE [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    std::vector<double> waits;
    for (int run = 0; run < runs; ++run) {
        const long long before = BytesRead();
        auto* filler = new tamboro::DigestFiller({tamboro::DigestFiller::Chart{0, {}, argv[1]}});
        while (BytesRead() - before < (64LL << 20))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const auto start = std::chrono::steady_clock::now();
        delete filler;
        const std::chrono::duration<double, std::milli> waited = std::chrono::steady_clock::now() - start;
        const long long read = BytesRead() - before;
        std::printf("run %d: stop waited %.1f ms, %lld MB read\n", run + 1, waited.count(), read >> 20);
        waits.push_back(waited.count());
    }
    std::sort(waits.begin(), waits.end());
    std::printf("median stop wait: %.1f ms over %d runs\n", waits[waits.size() / 2], runs);
    return 0;
}
