#include "check/DuplicateFinder.h"

#include <algorithm>
#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unordered_map>

#include "search/HeaderReader.h"

namespace tamboro {

namespace {

// The chart's digests: from the index when it knows the file as it is now,
// else read, in blocks as a scan reads it (and kept in the index with the
// values the same read gave). False when the chart cannot be read, or has
// grown past what the check reads.
bool DigestsOf(const CheckedChart& chart, ChartIndex* index, HeaderReader& reader, ChartHashes& digests)
{
    const std::string path = chart.folder + chart.file;
    TagTable values;
    struct stat looked {};
    if (index != nullptr && ::stat(path.c_str(), &looked) == 0 &&
        index->FindChart(chart.folder, chart.file, StampOf(looked), true, values, digests))
        return true;
    HeaderReader::OpenFile file = HeaderReader::Open(AT_FDCWD, path.c_str());
    if (!file.IsOpen() || file.Size() > static_cast<std::size_t>(ChartLines::kMaxChartBytes))
        return false;
    reader.Read(file, values, &digests);
    const struct stat* read = reader.LastFileRead();
    if (read == nullptr)
        return false;
    if (index != nullptr)
        index->RecordChart(chart.folder, chart.file, StampOf(*read), values, digests);
    return true;
}

}  // namespace

std::vector<DuplicateGroup> FindDuplicates(const std::vector<CheckedChart>& charts, const std::function<bool()>& stop,
                                           ChartIndex* index)
{
    // Charts of one size and one quick hash, in found order.
    std::map<std::pair<int64_t, uint64_t>, std::vector<std::size_t>> bySize;
    for (std::size_t i = 0; i < charts.size(); ++i)
        bySize[{charts[i].size, charts[i].quickHash}].push_back(i);

    std::vector<DuplicateGroup> groups;
    HeaderReader reader;
    for (const auto& [size, same] : bySize) {
        if (same.size() < 2)
            continue;
        std::map<std::pair<std::string, std::string>, std::vector<std::size_t>> byDigest;
        for (const std::size_t chart : same) {
            if (stop())
                return groups;
            ChartHashes digests;
            if (!DigestsOf(charts[chart], index, reader, digests))
                continue;
            byDigest[{std::move(digests.md5), std::move(digests.sha256)}].push_back(chart);
        }
        for (auto& [digest, group] : byDigest) {
            if (group.size() >= 2)
                groups.push_back(DuplicateGroup{digest.first, std::move(group)});
        }
    }
    std::sort(groups.begin(), groups.end(),
              [](const DuplicateGroup& a, const DuplicateGroup& b) { return a.charts.front() < b.charts.front(); });
    return groups;
}

}  // namespace tamboro
