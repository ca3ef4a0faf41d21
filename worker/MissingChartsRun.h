// The entries of one difficulty table that a library lacks, found on a
// thread of its own for the window: the root is scanned with digests (and
// with its index, as the window's searches use it), and once the whole
// library was seen the table's entries no chart matches wait here, in the
// table's order, until the window takes them. The window polls: everything
// it reads is handed over under a standard mutex or atomic, nothing through
// Qt's event queue.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "search/ChartTypes.h"
#include "tables/DifficultyTable.h"
#include "tables/TableMatch.h"

namespace tamboro {

class MissingChartsRun {
public:
    using Missing = MissingEntry;

    // Starts scanning `root` at once; with `useIndex`, through the root's
    // index in the user's cache folder.
    MissingChartsRun(DifficultyTable table, std::string root, ChartTypes types, bool useIndex);
    // Stops the scan and waits for its thread.
    ~MissingChartsRun();
    MissingChartsRun(const MissingChartsRun&) = delete;
    MissingChartsRun& operator=(const MissingChartsRun&) = delete;

    // Asks the scan to stop; nothing is listed then.
    void Stop() { m_stop.store(true); }
    // Once false, the values below are final.
    bool IsRunning() const { return m_running.load(); }
    // 0, or the errno that cut the scan short.
    int Error() const { return m_error.load(); }
    bool Stopped() const { return m_stopped.load(); }
    // Charts scanned so far, and the folder read last (raw bytes).
    std::int64_t ChartsSeen() const { return m_charts.load(); }
    std::string CurrentFolder();
    // The missing entries, once the scan ended by itself without an error.
    std::vector<Missing> TakeMissing();

private:
    class Sink;
    void Run(const std::string& root, const ChartTypes& types, bool useIndex);
    void ListMissing(const LibraryHashes& library);

    // The one table, as TableMatch takes tables.
    const std::vector<DifficultyTable> m_tables;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{true};
    std::atomic<int> m_error{0};
    std::atomic<bool> m_stopped{false};
    std::atomic<std::int64_t> m_charts{0};
    std::mutex m_mutex;
    std::string m_folder;
    std::vector<Missing> m_missing;
    std::thread m_thread;
};

}  // namespace tamboro
