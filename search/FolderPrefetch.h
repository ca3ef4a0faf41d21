// Looks at the folders and charts an index holds ahead of the walk, on
// threads of its own, so that their inodes are in memory when the scan
// looks at them. A walk opens one folder after another, and on a cold
// cache each open waits for the device; what the index holds is known
// before the walk meets it, and many looks at once keep the device busy.
// The first thread looks at a few folders first: when none of those looks
// waits for the device after all (a slow look was a thread that lost its
// core), the cache is warm and nothing more is looked at. Only a hint: a
// look that fails, or a thread that cannot start, changes nothing but the
// time.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "search/ChartIndex.h"

namespace tamboro {

// A look at a file or folder that took longer than this waited for the
// device rather than found its inode in memory.
inline constexpr std::chrono::microseconds kDeviceLookTime{300};

class FolderPrefetch {
public:
    // `index` must outlive this object.
    explicit FolderPrefetch(const ChartIndex& index) : m_index(index), m_paths(index.KeptFolderPaths()) {}
    ~FolderPrefetch();
    FolderPrefetch(const FolderPrefetch&) = delete;
    FolderPrefetch& operator=(const FolderPrefetch&) = delete;

    // Starts `threads` threads going through the paths (once; later calls
    // do nothing).
    void Start(int threads);
    bool Started() const { return !m_threads.empty(); }

private:
    enum Verdict : int { kPending, kCold, kWarm };
    static constexpr std::size_t kProbeFolders = 4;

    // The first thread: the probe, then the rest of the folders if cold.
    void ProbeThenLook();
    // The other threads: once the probe found the cache cold.
    void LookOnceCold();
    void SetVerdict(Verdict verdict);
    // Looks at each folder not yet taken, and at its charts.
    void LookAtFolders();
    static bool LookWaited(const std::string& path);

    const ChartIndex& m_index;
    const std::vector<std::string_view>& m_paths;  // in about the order the walk meets them
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_verdict{kPending};
    std::vector<std::thread> m_threads;
};

}  // namespace tamboro
