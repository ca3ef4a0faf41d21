// How a folder scan runs: what stops it, how many rows it lists, which
// names are charts, how many threads read them and whether they hash them.
#pragma once

#include <atomic>
#include <cstdint>

#include "search/ChartTypes.h"
#include "search/ReadAheadLimits.h"
#include "search/SearchState.h"

namespace tamboro {

struct ScanOptions {
    static constexpr int64_t kNoRowLimit = -1;

    // The shared state word; an invalid one is never tested.
    StateWord state{};
    // A stop flag of the scan's own, tested where the word is: once set, the
    // scan unwinds as after SS_STOP, whatever the word says. It is only
    // read, and must outlive the scan; nullptr for none.
    const std::atomic<bool>* stop = nullptr;
    // Once this many rows exist, further folders' charts are not listed;
    // their subfolders still are walked.
    int64_t rowLimit = kNoRowLimit;
    // Which names are charts (default: "bms").
    ChartTypes types{};
    // Threads that read charts ahead of the walk; 1 reads each chart on the
    // calling thread as its folder is finished. The rows, their order and
    // the sink's calls are the same either way.
    int readers = 1;
    // What reading ahead may hold at once.
    ReadAheadLimits readAhead{};
    // Compute the MD5 and SHA-256 of every listed chart's whole bytes, in the
    // same read as its values (ChartRow::md5, ChartRow::sha256).
    bool hashes = false;

    bool StopRequested() const { return tamboro::StopRequested(state, stop); }
};

}  // namespace tamboro
