#include "search/ChartValuesRead.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "search/ChartIndex.h"

namespace tamboro {

int ReadChartValues(HeaderReader& reader, const ScanOptions& options, int dirFd, const std::string& path,
                    const char* name, unsigned char type, TagTable& values)
{
    ChartIndex* const index = options.index;
    if (index == nullptr)
        return reader.ReadHeaders(dirFd, name, values, type == DT_REG);
    // What is not a regular file (a dangling link, a folder named like a
    // chart) has empty values, as ReadHeaders gives it, and is not kept.
    struct stat st {};
    if (::fstatat(dirFd, name, &st, 0) != 0 || !S_ISREG(st.st_mode)) {
        values.Clear();
        return 0;
    }
    const ChartStamp stamp = StampOf(st);
    ChartHashes hashes;
    if (index->FindChart(path, name, stamp, options.hashes, values, hashes))
        return 0;
    if (const int error = reader.ReadHeaders(dirFd, name, values, true))
        return error;
    // Kept only when the file read whole is the one looked at: one replaced
    // in between is read again next time.
    if (const struct stat* read = reader.LastFileRead(); read != nullptr && StampOf(*read) == stamp)
        index->RecordChart(path, name, stamp, values, hashes);
    return 0;
}

}  // namespace tamboro
