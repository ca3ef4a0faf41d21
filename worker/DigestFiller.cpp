#include "worker/DigestFiller.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>

#include "platform/FileHash.h"

namespace tamboro {

struct DigestFiller::Work {
    explicit Work(std::vector<Chart> queued) : charts(std::move(queued)) {}

    // Hashes the charts not taken yet, one at a time, until none is left or
    // the stop is set.
    void HashCharts()
    {
        FileHash hash;
        for (;;) {
            const std::size_t next = this->next.fetch_add(1);
            if (next >= charts.size() || stop.load())
                break;
            Digests digests{charts[next], {}, {}};
            if (hash.HashFile(digests.chart.folder + digests.chart.file, digests.md5, digests.sha256, &stop) ==
                ECANCELED)
                break;
            const std::lock_guard lock(mutex);
            done.push_back(std::move(digests));
        }
        const std::lock_guard lock(mutex);
        --running;
        ended.notify_all();
    }

    const std::vector<Chart> charts;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable ended;
    int running = 0;            // under mutex
    std::vector<Digests> done;  // under mutex
};

DigestFiller::DigestFiller(std::vector<Chart> charts, QObject* parent)
    : QObject(parent), m_work(std::make_shared<Work>(std::move(charts)))
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = std::min<std::size_t>(cores, m_work->charts.size());
    for (std::size_t i = 0; i < threads; ++i) {
        {
            const std::lock_guard lock(m_work->mutex);
            ++m_work->running;
        }
        try {
            m_threads.emplace_back([work = m_work] { work->HashCharts(); });
        } catch (const std::system_error&) {
            // Fewer threads, or none: the charts are left without digests.
            const std::lock_guard lock(m_work->mutex);
            --m_work->running;
            break;
        }
    }
}

DigestFiller::~DigestFiller()
{
    m_work->stop.store(true);
    std::unique_lock lock(m_work->mutex);
    const bool ended =
        m_work->ended.wait_for(lock, std::chrono::milliseconds(kStopWaitMs), [this] { return m_work->running == 0; });
    lock.unlock();
    for (std::thread& thread : m_threads) {
        if (ended)
            thread.join();
        else
            thread.detach();
    }
}

bool DigestFiller::IsRunning() const
{
    const std::lock_guard lock(m_work->mutex);
    return m_work->running > 0;
}

std::vector<DigestFiller::Digests> DigestFiller::Take()
{
    const std::lock_guard lock(m_work->mutex);
    return std::exchange(m_work->done, {});
}

}  // namespace tamboro
