#include "search/OneThreadScan.h"

#include <dirent.h>

#include "platform/DirectoryReader.h"

namespace tamboro {

int OneThreadScan::Run(const std::string& root)
{
    const int error = FolderWalk(*this).Run(root);
    return error != 0 ? error : m_chartError;
}

bool OneThreadScan::StopRequested()
{
    return m_chartError != 0 || m_options.StopRequested();
}

void OneThreadScan::Entered(const std::string& path)
{
    m_lister.Entered(path);
}

void OneThreadScan::Finished(DirectoryListing& listing, const std::string& path)
{
    if (m_chartError != 0)
        return;
    if (m_lister.ListsCharts())
        m_chartError = ReadCharts(listing, path);
    if (m_chartError == 0)
        m_lister.Finished(path);
}

int OneThreadScan::ReadCharts(const DirectoryListing& listing, const std::string& path)
{
    for (const auto& entry : listing.Entries()) {
        if (!m_options.types.Matches(listing.NameOf(entry)))
            continue;
        ChartHashes* hashes = m_options.hashes ? &m_hashes : nullptr;
        const char* name = listing.CNameOf(entry);
        if (const int error = m_reader.ReadHeaders(listing.Fd(), name, m_tags, entry.type == DT_REG, hashes))
            return error;
        m_lister.AddChart(path, name, m_tags, hashes);
    }
    return 0;
}

}  // namespace tamboro
