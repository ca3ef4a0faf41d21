// Looks at the folders and charts an index holds ahead of the walk, on
// threads of its own, so that their inodes are in memory when the scan
// looks at them. A walk opens one folder after another, and on a cold
// cache each open waits for the device; what the index holds is known
// before the walk meets it, and many looks at once keep the device busy.
// Only a hint: a look that fails, or a thread that cannot start, changes
// nothing but the time.
#pragma once

#include <atomic>
#include <cstddef>
#include <string_view>
#include <thread>
#include <vector>

#include "search/ChartIndex.h"

namespace tamboro {

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
    void LookAtFolders();

    const ChartIndex& m_index;
    const std::vector<std::string_view>& m_paths;  // in about the order the walk meets them
    std::atomic<std::size_t> m_next{0};
    std::atomic<bool> m_stop{false};
    std::vector<std::thread> m_threads;
};

}  // namespace tamboro
