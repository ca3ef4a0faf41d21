#include "search/FolderPrefetch.h"

#include <sys/stat.h>

#include <string>
#include <system_error>

namespace tamboro {

FolderPrefetch::~FolderPrefetch()
{
    m_stop.store(true, std::memory_order_relaxed);
    for (std::thread& thread : m_threads)
        thread.join();
}

void FolderPrefetch::Start(int threads)
{
    if (!m_threads.empty() || m_paths.empty())
        return;
    for (int i = 0; i < threads; ++i) {
        try {
            m_threads.emplace_back([this] { LookAtFolders(); });
        } catch (const std::system_error&) {
            break;
        }
    }
}

void FolderPrefetch::LookAtFolders()
{
    std::string path;
    std::vector<std::string_view> charts;
    struct stat st {};
    for (;;) {
        const std::size_t next = m_next.fetch_add(1, std::memory_order_relaxed);
        if (next >= m_paths.size() || m_stop.load(std::memory_order_relaxed))
            return;
        path.assign(m_paths[next]);
        static_cast<void>(::stat(path.c_str(), &st));
        m_index.KeptChartNames(m_paths[next], charts);
        const std::size_t folderLength = path.size();
        for (const std::string_view chart : charts) {
            path.resize(folderLength);
            path.append(chart);
            static_cast<void>(::stat(path.c_str(), &st));
        }
    }
}

}  // namespace tamboro
