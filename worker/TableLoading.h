// Difficulty tables read on a thread of their own, one after another with
// one fetcher, while the window stays usable: from the network (keeping the
// copy read) or, at start, from the kept copy when there is one. What each
// read gave comes back on the owner's thread.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tables/DifficultyTable.h"
#include "tables/TableCache.h"
#include "tables/TableFetcher.h"

namespace tamboro {

class TableLoading : public QObject {
    Q_OBJECT
public:
    struct Request {
        std::string source;
        // False: the kept copy, and the network only when there is none.
        bool fromNetwork = true;
    };
    struct Outcome {
        std::string source;
        // Shared, so that the owner keeps it without copying its entries.
        std::shared_ptr<const DifficultyTable> table;
        // The table is the kept copy (read on purpose, or as the fallback).
        bool fromKeptCopy = false;
        // Why the network gave no table ("ADDRESS: reason"); empty when it
        // did or was not asked.
        std::string error;
    };

    explicit TableLoading(TableCache cache = TableCache(), FetchLimits limits = {}, QObject* parent = nullptr);
    // Ends a transfer under way, drops the requests left and waits for the
    // thread.
    ~TableLoading() override;

    // Queues a read after those queued; the thread starts at the first.
    void Load(Request request);
    bool IsIdle() const { return m_idle; }

signals:
    // A read starts: the number-th of `total` since the thread was last idle.
    void Reading(int number, int total, const QString& source);
    void Loaded(const tamboro::TableLoading::Outcome& outcome);
    // Every request queued is done.
    void Idle();

private:
    void Work();
    // Reads the next request queued, waiting for one when `wait`; false
    // once stopped, or with none queued and no wait.
    bool ReadNext(bool wait);
    Outcome Read(const Request& request);

    const TableCache m_cache;
    TableFetcher m_fetcher;  // used on the thread only
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Request> m_requests;  // under m_mutex
    // The owner's thread's view: counts of the batch under way.
    bool m_idle = true;
    int m_batchTotal = 0;
    int m_batchDone = 0;
    std::thread m_thread;
};

}  // namespace tamboro
