#include "library/IndexBlobs.h"

#include <algorithm>
#include <dirent.h>
#include <utility>
#include <vector>
// XXH3 built in from its header: no library to load at start.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace tamboro {
namespace {

constexpr std::size_t kCheckBytes = 4;

void AppendLength(std::string& out, uint64_t length)
{
    while (length >= 0x80) {
        out += static_cast<char>((length & 0x7F) | 0x80);
        length >>= 7;
    }
    out += static_cast<char>(length);
}

void AppendBytes(std::string& out, std::string_view bytes)
{
    AppendLength(out, bytes.size());
    out += bytes;
}

// Reads a number (LEB128, at most 64 bits) from the front of `blob`.
bool TakeNumber(std::string_view& blob, uint64_t& number)
{
    number = 0;
    for (int shift = 0;; shift += 7) {
        if (blob.empty() || shift > 63)
            return false;
        const auto byte = static_cast<unsigned char>(blob.front());
        blob.remove_prefix(1);
        number |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0)
            return true;
    }
}

// Reads a length and that many bytes from the front of `blob`.
bool TakeBytes(std::string_view& blob, std::string_view& bytes)
{
    uint64_t length = 0;
    if (!TakeNumber(blob, length) || length > blob.size())
        return false;
    bytes = blob.substr(0, length);
    blob.remove_prefix(length);
    return true;
}

std::string CheckOf(std::string_view body, std::string_view key)
{
    // XXH3 takes eight bytes at a time: a scan checks every chart's values.
    const auto check =
        static_cast<uint32_t>(XXH3_64bits_withSeed(key.data(), key.size(), XXH3_64bits(body.data(), body.size())));
    std::string out(kCheckBytes, '\0');
    for (std::size_t i = 0; i < kCheckBytes; ++i)
        out[i] = static_cast<char>(check >> (8 * i));
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

// Reads one chart of a charts blob from its front.
bool TakeChart(std::string_view& blob, ChartView& chart)
{
    uint64_t numbers[5];
    if (!TakeBytes(blob, chart.name))
        return false;
    for (uint64_t& number : numbers) {
        if (!TakeNumber(blob, number))
            return false;
    }
    chart.stamp = {numbers[0], numbers[1], static_cast<int64_t>(numbers[2]), static_cast<int64_t>(numbers[3]),
                   static_cast<int64_t>(numbers[4])};
    return TakeBytes(blob, chart.values) && TakeBytes(blob, chart.md5) && TakeBytes(blob, chart.sha256);
}

uint64_t Fnv1a(std::string_view bytes, uint64_t seed)
{
    uint64_t hash = seed;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 1099511628211ull;
    }
    return hash;
}

std::string HeaderTagList()
{
    std::string list;
    for (const TagSpec& tag : kHeaderTags) {
        list += tag.text;
        list += '\n';
    }
    return list;
}

std::string EncodeValues(const TagTable& values, std::string_view key)
{
    std::string blob;
    for (const std::string& value : values.Values()) {
        AppendLength(blob, value.size());
        blob += value;
    }
    blob += CheckOf(blob, key);
    return blob;
}

bool DecodeValues(std::string_view blob, std::string_view key, TagTable& values)
{
    if (blob.size() < kCheckBytes)
        return false;
    std::string_view body = blob.substr(0, blob.size() - kCheckBytes);
    if (CheckOf(body, key) != blob.substr(body.size()))
        return false;
    std::array<std::string_view, TagTable::kSize> found;
    for (std::string_view& value : found) {
        if (!TakeBytes(body, value))
            return false;
    }
    if (!body.empty())
        return false;
    for (std::size_t i = 0; i < found.size(); ++i)
        values.Value(static_cast<TagId>(i)).assign(found[i]);
    return true;
}

std::string EncodeListing(const DirectoryListing& folder, const ChartTypes& types, std::string_view key)
{
    std::string blob;
    for (const DirectoryListing::Entry& entry : folder.Entries()) {
        const std::string_view name = folder.NameOf(entry);
        if (entry.type == DT_REG && !types.Matches(name))
            continue;
        blob += static_cast<char>(entry.type);
        AppendLength(blob, name.size());
        blob += name;
    }
    blob += CheckOf(blob, key);
    return blob;
}

bool DecodeListing(std::string_view blob, std::string_view key, DirectoryListing& folder)
{
    if (blob.size() < kCheckBytes)
        return false;
    const std::string_view check = blob.substr(blob.size() - kCheckBytes);
    blob.remove_suffix(kCheckBytes);
    if (CheckOf(blob, key) != check)
        return false;
    std::vector<std::pair<unsigned char, std::string_view>> entries;
    while (!blob.empty()) {
        const auto type = static_cast<unsigned char>(blob.front());
        blob.remove_prefix(1);
        std::string_view name;
        // Only names a folder can hold: never "." or "..", nor a path.
        if (!TakeBytes(blob, name) || name.empty() || name == "." || name == ".." ||
            name.find('\0') != std::string_view::npos || name.find('/') != std::string_view::npos)
            return false;
        entries.emplace_back(type, name);
    }
    for (const auto& [type, name] : entries)
        folder.AddEntry(name, type);
    return true;
}

std::string EncodeCharts(const std::vector<KeptChart>& charts)
{
    std::string blob;
    for (const KeptChart& chart : charts)
        AppendChart(blob, {chart.name, chart.stamp, chart.values, chart.md5, chart.sha256});
    return blob;
}

void AppendChart(std::string& blob, const ChartView& chart)
{
    AppendBytes(blob, chart.name);
    for (const uint64_t number :
         {chart.stamp.device, chart.stamp.inode, static_cast<uint64_t>(chart.stamp.size),
          static_cast<uint64_t>(chart.stamp.modifiedNs), static_cast<uint64_t>(chart.stamp.changedNs)})
        AppendLength(blob, number);
    AppendBytes(blob, chart.values);
    AppendBytes(blob, chart.md5);
    AppendBytes(blob, chart.sha256);
}

bool DecodeCharts(std::string_view blob, std::vector<KeptChart>& charts)
{
    charts.clear();
    ChartView chart;
    while (!blob.empty()) {
        if (!TakeChart(blob, chart)) {
            charts.clear();
            return false;
        }
        charts.push_back({std::string(chart.name), chart.stamp, std::string(chart.values), std::string(chart.md5),
                          std::string(chart.sha256)});
    }
    return true;
}

void IndexChartsByName(std::string_view blob, std::unordered_map<std::string_view, uint32_t>& chartAt)
{
    constexpr std::size_t kLookedThrough = 32;  // charts a lookup may go through
    // A blob this small is gone through quickly whatever it holds: most
    // folders are not counted at all.
    constexpr std::size_t kLookedThroughBytes = 4096;
    chartAt.clear();
    if (blob.size() <= kLookedThroughBytes)
        return;
    std::string_view counted = blob;
    ChartView chart;
    std::size_t count = 0;
    while (!counted.empty() && count <= kLookedThrough) {
        if (!TakeChart(counted, chart))
            return;
        ++count;
    }
    if (count <= kLookedThrough)
        return;
    const std::string_view whole = blob;
    while (!blob.empty()) {
        const auto at = static_cast<uint32_t>(whole.size() - blob.size());
        if (!TakeChart(blob, chart)) {
            chartAt.clear();
            return;
        }
        chartAt.emplace(chart.name, at);
    }
}

bool NamesEachChartOnce(std::string_view blob)
{
    std::vector<std::string_view> names;
    ChartView chart;
    while (!blob.empty()) {
        if (!TakeChart(blob, chart))
            return false;
        names.push_back(chart.name);
    }
    std::sort(names.begin(), names.end());
    return std::adjacent_find(names.begin(), names.end()) == names.end();
}

std::string HexToBytes(std::string_view hex)
{
    if (hex.size() % 2 != 0)
        return {};
    std::string bytes;
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0)
            return {};
        bytes += static_cast<char>(high * 16 + low);
    }
    return bytes;
}

std::string BytesToHex(std::string_view bytes)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (const char c : bytes) {
        hex += kDigits[static_cast<unsigned char>(c) >> 4];
        hex += kDigits[static_cast<unsigned char>(c) & 0xF];
    }
    return hex;
}

}  // namespace tamboro
