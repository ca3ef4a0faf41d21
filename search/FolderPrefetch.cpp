#include "search/FolderPrefetch.h"

#include <sys/stat.h>

#include <chrono>
#include <string>
#include <system_error>

namespace tamboro {

FolderPrefetch::~FolderPrefetch()
{
    m_stop.store(true, std::memory_order_relaxed);
    SetVerdict(kWarm);
    for (std::thread& thread : m_threads)
        thread.join();
}

void FolderPrefetch::Start(int threads)
{
    if (!m_threads.empty() || m_paths.empty())
        return;
    for (int i = 0; i < threads; ++i) {
        try {
            if (i == 0)
                m_threads.emplace_back([this] { ProbeThenLook(); });
            else
                m_threads.emplace_back([this] { LookOnceCold(); });
        } catch (const std::system_error&) {
            break;
        }
    }
}

void FolderPrefetch::SetVerdict(Verdict verdict)
{
    int pending = kPending;
    if (m_verdict.compare_exchange_strong(pending, verdict))
        m_verdict.notify_all();
}

// The folders probed (themselves, not their charts: one wait is enough to
// tell) are spread over the whole list: those at its start may be the very
// ones the walk has met already.
void FolderPrefetch::ProbeThenLook()
{
    bool cold = false;
    for (std::size_t i = 1; i <= kProbeFolders && !cold && !m_stop.load(std::memory_order_relaxed); ++i)
        cold = LookWaited(std::string(m_paths[m_paths.size() * i / (kProbeFolders + 1)]));
    SetVerdict(cold ? kCold : kWarm);
    if (cold)
        LookAtFolders();
}

void FolderPrefetch::LookOnceCold()
{
    m_verdict.wait(kPending);
    if (m_verdict.load() == kCold)
        LookAtFolders();
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

bool FolderPrefetch::LookWaited(const std::string& path)
{
    const auto start = std::chrono::steady_clock::now();
    struct stat st {};
    static_cast<void>(::stat(path.c_str(), &st));
    return std::chrono::steady_clock::now() - start > kDeviceLookTime;
}

}  // namespace tamboro
