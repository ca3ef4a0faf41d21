// The bounds of what a scan that reads ahead holds at once.
#pragma once

#include <cstddef>

#include "search/HeaderReader.h"
#include "search/HeaderTags.h"

namespace tamboro {

struct ReadAheadLimits {
    std::size_t steps = 4096;      // steps of the walk not yet taken by the lister
    std::size_t chunks = 128;      // chunks of charts among them
    std::size_t bytes = 8u << 20;  // values read and not yet listed
    // Readers at work while reads find their bytes in the page cache
    // (0: one per core); all of them once reads wait for the device.
    int readersWhenCached = 0;
    // The most one chart's values can hold. A reader reserves out of
    // `bytes` what a chart's values can take before it reads the chart: its
    // size once it is open, when that is less (values are bytes of the
    // file), so that small charts take little room; `chartBytes` is what
    // a reader holds to start a run of charts, before the first is open.
    // Readers together never pass `bytes` (a smaller `bytes` is reserved
    // whole, one chart at a time).
    std::size_t chartBytes = kHeaderTags.size() * HeaderReader::kMaxValueLength;
};

}  // namespace tamboro
