// How the index keeps a chart's values and a folder's listing in one blob
// each, and its hashes as bytes. Decoding checks every length: a damaged
// blob is refused, never read past its end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include <vector>

#include "platform/DirectoryReader.h"
#include "search/ChartIndex.h"
#include "search/ChartTypes.h"
#include "search/HeaderTags.h"

namespace tamboro {

// Every tag's text in the order of kHeaderTags, one a line: the values blob
// holds the values in that order, so a list that differs makes every kept
// value unknown.
std::string HeaderTagList();

// The values in the order of kHeaderTags, each its length (LEB128) and
// bytes, and a check over them and `key` (the chart's name and stamp), so
// that a damaged blob or one moved to another chart is refused.
std::string EncodeValues(const TagTable& values, std::string_view key);
bool DecodeValues(std::string_view blob, std::string_view key, TagTable& values);

// The entries of `folder` a scan for `types` needs, in their order: all but
// regular files whose names are not charts. Each is its type byte, its
// name's length (LEB128) and the name; a check over them and `key` (the
// folder's path and stamp) follows.
std::string EncodeListing(const DirectoryListing& folder, const ChartTypes& types, std::string_view key);
// Adds the entries to `folder`; false (and nothing added) for a damaged blob.
bool DecodeListing(std::string_view blob, std::string_view key, DirectoryListing& folder);

// What the index keeps of one chart.
struct KeptChart {
    std::string name;
    ChartStamp stamp;
    std::string values;  // EncodeValues
    std::string md5;     // bytes, empty when not computed
    std::string sha256;  // bytes, empty when not computed
};

// One chart of a charts blob, its bytes left in the blob.
struct ChartView {
    std::string_view name;
    ChartStamp stamp;
    std::string_view values;
    std::string_view md5;
    std::string_view sha256;
};

// A folder's charts in one blob: for each its name, the five numbers of its
// stamp (LEB128), its values and hashes, each with its length.
std::string EncodeCharts(const std::vector<KeptChart>& charts);
// Adds one chart to the end of a charts blob.
void AppendChart(std::string& blob, const ChartView& chart);
// False (and `charts` left empty) for a damaged blob.
bool DecodeCharts(std::string_view blob, std::vector<KeptChart>& charts);
// Whether a charts blob is whole and names no chart twice.
bool NamesEachChartOnce(std::string_view blob);
// For a blob of more than a few charts (and 4 KiB): where each chart starts
// in it, by its name (views into `blob`); left empty for a few, or a
// damaged blob.
void IndexChartsByName(std::string_view blob, std::unordered_map<std::string_view, uint32_t>& chartAt);
// Takes the chart at the start of `blob` and moves past it.
bool TakeChart(std::string_view& blob, ChartView& chart);

// Lowercase hex to bytes and back; "" for anything that is not hex.
std::string HexToBytes(std::string_view hex);
std::string BytesToHex(std::string_view bytes);

// FNV-1a over `bytes`, 64 bits.
uint64_t Fnv1a(std::string_view bytes, uint64_t seed = 14695981039346656037ull);

}  // namespace tamboro
