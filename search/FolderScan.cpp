#include "search/FolderScan.h"

#include <algorithm>
#include <dirent.h>
#include <thread>

#include "platform/DirectoryReader.h"
#include "search/ReadAheadScan.h"

namespace tamboro {

// Lists each folder's charts on the walking thread as the folder is
// finished.
class FolderScan::SingleThreadVisitor : public FolderVisitor {
public:
    explicit SingleThreadVisitor(FolderScan& scan) : m_scan(scan) {}

    bool StopRequested() override
    {
        return m_scan.m_chartError != 0 || tamboro::StopRequested(m_scan.m_state, m_scan.m_stop);
    }

    void Entered(const std::string& path) override { m_scan.m_sink.FolderEntered(path); }

    void Finished(DirectoryListing& listing, const std::string& path) override
    {
        if (m_scan.m_chartError != 0)
            return;
        if (m_scan.m_rowLimit < 0 || m_scan.m_nCount < m_scan.m_rowLimit)
            m_scan.m_chartError = m_scan.ChartPass(listing, path);
        if (m_scan.m_chartError == 0)
            m_scan.m_sink.SetTitle(FormatTitle(m_scan.m_nCount, path));
    }

private:
    FolderScan& m_scan;
};

int FolderScan::DefaultReaders()
{
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(8 * cores, 8, 64);
}

FolderScan::FolderScan(ScanSink& sink, StateWord state, int64_t rowLimit)
    : m_sink(sink), m_state(state), m_rowLimit(rowLimit)
{}

int FolderScan::Run(const std::string& root)
{
    if (m_readers > 1) {
        ReadAheadScan scan(m_sink, m_state, m_rowLimit, m_types, m_readers);
        scan.SetStopFlag(m_stop);
        const int error = scan.Run(root);
        m_nCount = scan.Count();
        return error;
    }
    SingleThreadVisitor visitor(*this);
    const int error = FolderWalk(visitor).Run(root);
    return error != 0 ? error : m_chartError;
}

int FolderScan::ChartPass(const DirectoryListing& listing, const std::string& path)
{
    m_batch.clear();
    for (const auto& entry : listing.Entries()) {
        if (!m_types.Matches(listing.NameOf(entry)))
            continue;
        if (const int error = m_reader.ReadHeaders(listing.Fd(), listing.CNameOf(entry), m_tags, entry.type == DT_REG))
            return error;
        ChartRow& row = m_batch.emplace_back();
        row.folder = path;
        row.genre = m_tags.Value(TagOf("#GENRE "));
        row.title = m_tags.Value(TagOf("#TITLE "));
        row.artist = m_tags.Value(TagOf("#ARTIST "));
        row.index = static_cast<uint32_t>(m_nCount);
        row.key = MakeRowKey(row.index, row.index);
        ++m_nCount;
    }
    if (!m_batch.empty())
        m_sink.AddRows(m_batch);
    return 0;
}

}  // namespace tamboro
