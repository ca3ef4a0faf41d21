// The one way both scans get a chart's values (and digests): from the index
// when it knows the chart unchanged, else read from the file (and then told
// to the index).
#pragma once

#include <string>

#include "search/ChartHashes.h"
#include "search/ChartIndex.h"
#include "search/HeaderReader.h"
#include "search/HeaderTags.h"
#include "search/ScanOptions.h"

namespace tamboro {

// A chart as one look (fstatat, following links) saw it.
struct ChartLook {
    bool regular = false;   // false: no regular file, or the look failed
    bool readable = false;  // when regular: this user may open it for reading
    ChartStamp stamp;       // when regular
};
ChartLook LookAtChart(int dirFd, const char* name);

// Fills `values` for the chart `name` of the folder open as `dirFd`, whose
// path is `path`; `type` is the entry's type as listed (DT_*). With
// `hashes` (when `options.hashes`), its digests too. Returns 0, or
// EMFILE/ENFILE as HeaderReader::ReadHeaders. Without an index in `options`
// this is ReadHeaders. With an index, `looked` is the chart's look when it
// was already taken (the index is then asked with it), else the chart is
// looked at here when the index knows it; `kept`, when the index was
// already asked what it keeps of the chart, is that.
int ReadChartValues(HeaderReader& reader, const ScanOptions& options, int dirFd, const std::string& path,
                    const char* name, unsigned char type, TagTable& values, ChartHashes* hashes,
                    const ChartLook* looked = nullptr, const KeptChartRef* kept = nullptr);

}  // namespace tamboro
