#include "worker/TableLoading.h"

#include <system_error>

#include "tables/TableReader.h"

namespace tamboro {

TableLoading::TableLoading(TableCache cache, FetchLimits limits, QObject* parent)
    : QObject(parent), m_cache(std::move(cache)), m_fetcher(limits)
{
    m_fetcher.SetStopFlag(&m_stop);
}

TableLoading::~TableLoading()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
        m_requests.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void TableLoading::Load(Request request)
{
    if (m_idle) {
        m_idle = false;
        m_batchTotal = 0;
        m_batchDone = 0;
    }
    ++m_batchTotal;
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(request));
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        return;
    try {
        m_thread = std::thread([this] { Work(); });
    } catch (const std::system_error&) {
        // No thread to be had: read here, the window waiting meanwhile.
        while (ReadNext(false)) {
        }
    }
}

void TableLoading::Work()
{
    while (ReadNext(true)) {
    }
}

bool TableLoading::ReadNext(bool wait)
{
    Request request;
    {
        std::unique_lock lock(m_mutex);
        if (wait)
            m_wake.wait(lock, [this] { return m_stop || !m_requests.empty(); });
        if (m_stop || m_requests.empty())
            return false;
        request = std::move(m_requests.front());
        m_requests.pop_front();
    }
    // Posted to the owner's thread; dropped unread if the owner is gone.
    QMetaObject::invokeMethod(
        this,
        [this, source = QString::fromStdString(request.source)] {
            emit Reading(m_batchDone + 1, m_batchTotal, source);
        },
        Qt::QueuedConnection);
    Outcome outcome = Read(request);
    QMetaObject::invokeMethod(
        this,
        [this, outcome = std::move(outcome)] {
            ++m_batchDone;
            emit Loaded(outcome);
            if (m_batchDone == m_batchTotal) {
                m_idle = true;
                emit Idle();
            }
        },
        Qt::QueuedConnection);
    return true;
}

TableLoading::Outcome TableLoading::Read(const Request& request)
{
    Outcome outcome;
    outcome.source = request.source;
    if (!request.fromNetwork) {
        if (auto kept = m_cache.Load(request.source)) {
            outcome.table = std::make_shared<const DifficultyTable>(std::move(*kept));
            outcome.fromKeptCopy = true;
            return outcome;
        }
    }
    TableReader reader(m_fetcher);
    TableCache::Read read = m_cache.ReadThrough(reader, request.source);
    if (read.table) {
        outcome.table = std::make_shared<const DifficultyTable>(std::move(*read.table));
        outcome.fromKeptCopy = read.fromCache;
    }
    outcome.error = std::move(read.readError);
    return outcome;
}

}  // namespace tamboro
