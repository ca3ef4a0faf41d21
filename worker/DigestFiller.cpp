#include "worker/DigestFiller.h"

#include <algorithm>

#include "search/HeaderReader.h"

namespace tamboro {

DigestFiller::DigestFiller(std::vector<Chart> charts, QObject* parent) : QObject(parent), m_charts(std::move(charts))
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t threads = std::min<std::size_t>(cores, m_charts.size());
    m_running.store(static_cast<int>(threads));
    for (std::size_t i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { Work(); });
}

DigestFiller::~DigestFiller()
{
    m_stop.store(true);
    for (std::thread& thread : m_threads)
        thread.join();
}

void DigestFiller::Work()
{
    HeaderReader reader;
    TagTable values;
    ChartHashes hashes;
    for (;;) {
        const std::size_t next = m_next.fetch_add(1);
        if (next >= m_charts.size() || m_stop.load())
            break;
        const Chart& chart = m_charts[next];
        hashes.Clear();
        reader.ReadHeaders(chart.path, values, &hashes);
        std::lock_guard lock(m_mutex);
        m_done.push_back(Digests{chart.slot, std::move(hashes.md5), std::move(hashes.sha256)});
    }
    m_running.fetch_sub(1);
}

std::vector<DigestFiller::Digests> DigestFiller::Take()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_done, {});
}

}  // namespace tamboro
