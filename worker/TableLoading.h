// Difficulty tables read in the background while the window stays usable,
// each on a thread and with a client of its own, so that a table whose
// server never answers holds up no other: from the network (keeping the copy
// read) or, at start, from the kept copy when there is one. A read can be
// ended at any time; what each read gave comes back on the owner's thread.
#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
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
        uint64_t read = 0;  // the number Load gave
        std::string source;
        // Shared, so that the owner keeps it without copying its entries.
        std::shared_ptr<const DifficultyTable> table;
        // The table is the kept copy (read on purpose, or as the fallback).
        bool fromKeptCopy = false;
        // Why the network gave no table ("ADDRESS: reason", and its kind);
        // empty when it did or was not asked.
        std::string error;
        TableFailure failure;
    };

    explicit TableLoading(TableCache cache = TableCache(), FetchLimits limits = {}, QObject* parent = nullptr);
    // Ends every transfer under way and waits for the threads, each of
    // which sees its stop within about 50 ms.
    ~TableLoading() override;

    // Starts reading at once; returns the read's number (never 0).
    uint64_t Load(Request request);
    // Ends read `read`: its transfer stops, and Loaded never comes for it.
    void Cancel(uint64_t read);

signals:
    void Loaded(const tamboro::TableLoading::Outcome& outcome);

private:
    // One read: its thread and its stop, which the thread holds as well.
    struct Read {
        std::shared_ptr<std::atomic<bool>> stop;
        std::thread thread;
        bool cancelled = false;
    };
    static Outcome ReadTable(const TableCache& cache, const FetchLimits& limits, const std::atomic<bool>& stop,
                             uint64_t number, const Request& request);
    // On the owner's thread, once the read's thread is done with it.
    void Finish(uint64_t number, Outcome outcome);

    const TableCache m_cache;
    const FetchLimits m_limits;
    uint64_t m_lastRead = 0;
    std::map<uint64_t, Read> m_reads;  // the reads under way, by number
};

}  // namespace tamboro
