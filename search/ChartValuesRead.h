// The one way both scans get a chart's values (and digests): from the index
// when it knows the chart unchanged, else read from the file (and then told
// to the index).
#pragma once

#include <string>

#include "search/ChartHashes.h"
#include "search/HeaderReader.h"
#include "search/HeaderTags.h"
#include "search/ScanOptions.h"

namespace tamboro {

// Fills `values` for the chart `name` of the folder open as `dirFd`, whose
// path is `path`; `type` is the entry's type as listed (DT_*). With
// `hashes` (when `options.hashes`), its digests too. Returns 0, or
// EMFILE/ENFILE as HeaderReader::ReadHeaders. Without an index in `options`
// this is ReadHeaders.
int ReadChartValues(HeaderReader& reader, const ScanOptions& options, int dirFd, const std::string& path,
                    const char* name, unsigned char type, TagTable& values, ChartHashes* hashes);

}  // namespace tamboro
