// The match of the window's difficulty tables (tables/TableMatch: every
// entry's hash and each table's levels ranked), built on a thread of its own
// while the window stays usable: a table of 160,000 entries takes most of a
// second. The match built comes back on the owner's thread. Only the last
// request counts: one made while a build runs replaces any still waiting,
// and a build that ends after a newer request is dropped unseen.
#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "tables/DifficultyTable.h"
#include "tables/TableMatch.h"

namespace tamboro {

class TableMatching : public QObject {
    Q_OBJECT
public:
    using Tables = std::vector<std::shared_ptr<const DifficultyTable>>;
    // The tables and their match, which points into them.
    struct Matched {
        explicit Matched(Tables read);
        const Tables tables;
        const TableMatch match;
    };

    explicit TableMatching(QObject* parent = nullptr);
    // Waits for a build under way; what it built is dropped.
    ~TableMatching() override;

    // Builds the match of `tables` (in their order), dropping earlier
    // requests. An empty list builds nothing: it only drops them.
    void Match(Tables tables);

signals:
    // The match of the last request, on the owner's thread.
    void Built(std::shared_ptr<const tamboro::TableMatching::Matched> matched);

private:
    void Work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Tables> m_waiting;    // under m_mutex
    std::uint64_t m_waitingNumber = 0;  // under m_mutex
    bool m_stop = false;                // under m_mutex
    // The owner's thread's view: the number of the last request.
    std::uint64_t m_lastAsked = 0;
    std::thread m_thread;
};

}  // namespace tamboro
