#include "search/FolderCharts.h"

#include <dirent.h>
#include <fcntl.h>

#include "platform/DirectoryReader.h"
#include "search/HeaderReader.h"

namespace tamboro {

int ReadFolderCharts(const std::string& folder, const ScanOptions& options, std::vector<ChartRow>& rows)
{
    rows.clear();
    DirectoryListing listing;
    if (const int error = listing.Open(AT_FDCWD, folder.c_str()))
        return error;
    HeaderReader reader;
    ChartHashes hashes;
    for (const auto& entry : listing.Entries()) {
        if (!options.types.Matches(listing.NameOf(entry)))
            continue;
        ChartRow row;
        row.folder = folder;
        row.file = listing.CNameOf(entry);
        if (const int error = reader.ReadHeaders(listing.Fd(), listing.CNameOf(entry), row.values, entry.type == DT_REG,
                                                 options.hashes ? &hashes : nullptr)) {
            rows.clear();
            return error;
        }
        if (options.hashes) {
            row.md5 = std::move(hashes.md5);
            row.sha256 = std::move(hashes.sha256);
        }
        row.index = static_cast<uint32_t>(rows.size());
        rows.push_back(std::move(row));
    }
    return 0;
}

}  // namespace tamboro
