// The check of a whole library: every chart's named files (missing, or there
// only in another letter case), charts and folders that cannot be read, and
// charts whose bytes are the same as another's.
//
// The calling thread walks the tree; folders are checked by worker threads,
// and their problems reported on the calling thread in the order of the
// scan's walk (subfolders first), a folder's problems chart by chart.
// Duplicates come at the end, a group at a time, each chart of a group in
// found order, the groups in the found order of their first chart.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "check/CheckProblem.h"
#include "check/FolderCheck.h"
#include "platform/DirectoryReader.h"
#include "search/ChartIndex.h"
#include "search/ChartTypes.h"
#include "search/FolderWalk.h"
#include "search/SearchState.h"

namespace tamboro {

struct CheckOptions {
    StateWord state{};
    const std::atomic<bool>* stop = nullptr;
    ChartTypes types{};
    // Threads that check folders; 0: one per core.
    int threads = 0;
    // Where the digests of charts that may be duplicates are taken from and
    // kept; it must outlive the check; nullptr for none.
    ChartIndex* index = nullptr;
};

class LibraryCheck : private FolderVisitor {
public:
    // Folders waiting for a thread, or for their turn to be reported, at
    // most: each holds its directory open.
    static constexpr std::size_t kMaxFoldersInFlight = 64;

    LibraryCheck(CheckSink& sink, CheckOptions options);

    // Returns 0, or the errno that made the root unreadable (nothing is
    // reported then), or EMFILE/ENFILE when the walk ran out of descriptors.
    int Run(const std::string& root);

private:
    struct FolderJob {
        std::string path;
        DirectoryListing listing;
        bool claimed = false;
        bool done = false;
        FolderCheckResult result;
    };

    bool StopRequested() override;
    void Entered(const std::string& path) override;
    void Finished(DirectoryListing& listing, const std::string& path) override;
    void Unreadable(const std::string& path, int error) override;
    bool FreeDescriptors() override;

    void Enqueue(std::unique_ptr<FolderJob> job);
    // Reports the finished folders at the front, waiting until at most
    // `left` folders are in flight.
    void ReportUntil(std::size_t left);
    void WorkerLoop();

    CheckSink& m_sink;
    const CheckOptions m_options;
    std::string m_rootPath;  // ending in "/", as folder paths start
    std::vector<CheckedChart> m_charts;

    std::mutex m_mutex;
    std::condition_variable m_workToDo;
    std::condition_variable m_jobDone;
    std::deque<std::unique_ptr<FolderJob>> m_jobs;  // in walk order
    bool m_ending = false;
};

}  // namespace tamboro
