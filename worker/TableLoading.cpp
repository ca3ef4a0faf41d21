#include "worker/TableLoading.h"

#include <system_error>

#include "tables/TableReader.h"

namespace tamboro {

TableLoading::TableLoading(TableCache cache, FetchLimits limits, QObject* parent)
    : QObject(parent), m_cache(std::move(cache)), m_limits(limits)
{}

TableLoading::~TableLoading()
{
    for (auto& [number, read] : m_reads)
        read.stop->store(true);
    for (auto& [number, read] : m_reads) {
        if (read.thread.joinable())
            read.thread.join();
    }
}

uint64_t TableLoading::Load(Request request)
{
    const uint64_t number = ++m_lastRead;
    Read& read = m_reads[number];
    read.stop = std::make_shared<std::atomic<bool>>(false);
    const auto work = [this, number, request, stop = read.stop, cache = m_cache, limits = m_limits] {
        Outcome outcome = ReadTable(cache, limits, *stop, number, request);
        // Posted to the owner's thread; dropped unread if the owner is gone.
        QMetaObject::invokeMethod(
            this, [this, number, outcome = std::move(outcome)]() mutable { Finish(number, std::move(outcome)); },
            Qt::QueuedConnection);
    };
    try {
        read.thread = std::thread(work);
    } catch (const std::system_error&) {
        // No thread to be had: read here, the window waiting meanwhile.
        work();
    }
    return number;
}

void TableLoading::Cancel(uint64_t number)
{
    const auto read = m_reads.find(number);
    if (read == m_reads.end())
        return;
    read->second.stop->store(true);
    read->second.cancelled = true;
}

TableLoading::Outcome TableLoading::ReadTable(const TableCache& cache, const FetchLimits& limits,
                                              const std::atomic<bool>& stop, uint64_t number, const Request& request)
{
    Outcome outcome;
    outcome.read = number;
    outcome.source = request.source;
    if (!request.fromNetwork) {
        if (auto kept = cache.Load(request.source)) {
            outcome.table = std::make_shared<const DifficultyTable>(std::move(*kept));
            outcome.fromKeptCopy = true;
            return outcome;
        }
    }
    TableFetcher fetcher(limits);
    fetcher.SetStopFlag(&stop);
    TableReader reader(fetcher);
    TableCache::Read read = cache.ReadThrough(reader, request.source);
    if (read.table) {
        outcome.table = std::make_shared<const DifficultyTable>(std::move(*read.table));
        outcome.fromKeptCopy = read.fromCache;
    }
    outcome.error = std::move(read.readError);
    outcome.failure = read.readFailure;
    return outcome;
}

void TableLoading::Finish(uint64_t number, Outcome outcome)
{
    const auto read = m_reads.find(number);
    if (read == m_reads.end())
        return;
    // The thread has posted its outcome and is ending.
    if (read->second.thread.joinable())
        read->second.thread.join();
    const bool cancelled = read->second.cancelled;
    m_reads.erase(read);
    if (!cancelled)
        emit Loaded(outcome);
}

}  // namespace tamboro
