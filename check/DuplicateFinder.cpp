#include "check/DuplicateFinder.h"

#include <algorithm>
#include <fcntl.h>
#include <map>
#include <unordered_map>

#include "platform/FileHash.h"

namespace tamboro {

std::vector<DuplicateGroup> FindDuplicates(const std::vector<CheckedChart>& charts, const std::function<bool()>& stop)
{
    std::unordered_map<int64_t, std::vector<std::size_t>> bySize;
    for (std::size_t i = 0; i < charts.size(); ++i)
        bySize[charts[i].size].push_back(i);

    std::vector<DuplicateGroup> groups;
    FileHash hash;
    std::string bytes;
    for (const auto& [size, same] : bySize) {
        if (same.size() < 2)
            continue;
        std::map<std::pair<std::string, std::string>, std::vector<std::size_t>> byDigest;
        for (const std::size_t chart : same) {
            if (stop())
                return groups;
            const std::string path = charts[chart].folder + charts[chart].file;
            if (ReadWholeChart(AT_FDCWD, path.c_str(), bytes) != 0)
                continue;
            std::string md5;
            std::string sha256;
            hash.Begin();
            hash.Update(bytes.data(), bytes.size());
            hash.Finish(md5, sha256);
            byDigest[{std::move(md5), std::move(sha256)}].push_back(chart);
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
