// One row of the result list: a chart's folder, its file name, the values of
// every tag the header reader reads and, when asked for, its digests.
#pragma once

#include <cstdint>
#include <string>

#include "search/HeaderTags.h"

namespace tamboro {

// One chart: its folder (ending in "/"), its file name and the value of each
// tag of kHeaderTags, all as the raw bytes found, and its insertion index
// (the order the scan listed it in, from 0). A tag added to kHeaderTags is a
// value of every row without a line here.
struct ChartRow {
    std::string folder;
    std::string file;
    TagTable values;
    // The MD5 and SHA-256 of the file's whole bytes in lowercase hex; empty
    // when the scan did not compute them or could not read the file.
    std::string md5;
    std::string sha256;
    // The difficulty tables holding the chart ("★12 ◆3", UTF-8) and the
    // bytes its sort by table compares, when tables were given; else empty.
    std::string table;
    std::string tableKey;
    uint32_t index = 0;

    const std::string& Value(TagId tag) const { return values.Value(tag); }
    std::string& Value(TagId tag) { return values.Value(tag); }

    const std::string& Genre() const { return Value(TagOf("#GENRE ")); }
    const std::string& Title() const { return Value(TagOf("#TITLE ")); }
    const std::string& Artist() const { return Value(TagOf("#ARTIST ")); }
};

}  // namespace tamboro
