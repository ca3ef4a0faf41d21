#include "search/FolderScan.h"

#include <algorithm>
#include <optional>
#include <thread>
#include <utility>

#include "platform/DirectoryReader.h"
#include "search/OneThreadScan.h"
#include "search/ReadAheadScan.h"

namespace tamboro {

int FolderScan::DefaultReaders()
{
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(8 * cores, 8, 64);
}

FolderScan::FolderScan(ScanSink& sink, ScanOptions options)
    : m_options(std::move(options)), m_lister(sink, m_options.rowLimit)
{}

// Reads ahead with more than one reader, unless too few descriptors are
// free for one reader and one folder, or no reader thread or no thread for
// the walk starts: then the scan is the calling thread's alone.
int FolderScan::Run(const std::string& root)
{
    if (m_options.readers > 1) {
        const ReadAheadScan::OpenFilePlan plan = ReadAheadScan::PlanOpenFiles(m_options.readers, OpenFileRoom());
        if (plan.readers > 0) {
            if (const std::optional<int> error = ReadAheadScan(m_lister, m_options, plan).Run(root))
                return *error;
        }
    }
    return OneThreadScan(m_lister, m_options).Run(root);
}

}  // namespace tamboro
