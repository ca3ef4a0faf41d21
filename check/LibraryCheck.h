// The check of a whole library: every chart's named files (missing, or there
// only in another letter case), charts and folders that cannot be read, and
// charts whose bytes are the same as another's.
//
// Problems of a folder are reported when the folder is finished, in the
// order of the scan's walk (subfolders first); duplicates at the end, a
// group at a time, each chart of a group in found order, the groups in the
// found order of their first chart.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "check/CheckProblem.h"
#include "search/ChartTypes.h"
#include "search/FolderWalk.h"
#include "search/SearchState.h"

namespace tamboro {

struct CheckOptions {
    StateWord state{};
    const std::atomic<bool>* stop = nullptr;
    ChartTypes types{};
};

class LibraryCheck : private FolderVisitor {
public:
    LibraryCheck(CheckSink& sink, CheckOptions options);

    // Returns 0, or the errno that made the root unreadable (nothing is
    // reported then), or EMFILE/ENFILE when the walk ran out of descriptors.
    int Run(const std::string& root);

    // Charts checked.
    std::size_t ChartCount() const { return m_charts.size(); }

private:
    struct Chart {
        std::string folder;
        std::string file;
        int64_t size;
    };

    bool StopRequested() override;
    void Entered(const std::string& path) override;
    void Finished(DirectoryListing& listing, const std::string& path) override;
    void Unreadable(const std::string& path, int error) override;

    void CheckChart(const DirectoryListing& listing, std::size_t entry, const std::string& path,
                    class ReferenceResolver& resolver);
    void ReportDuplicates();

    CheckSink& m_sink;
    const CheckOptions m_options;
    std::vector<Chart> m_charts;
};

}  // namespace tamboro
