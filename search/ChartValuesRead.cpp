#include "search/ChartValuesRead.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "search/ChartIndex.h"

namespace tamboro {
namespace {

enum class Look { kNotRegular, kKnown, kUnknown };

// Looks at the chart and asks the index; `stamp` is what was seen.
Look LookUp(const ScanOptions& options, int dirFd, const std::string& path, const char* name, ChartStamp& stamp,
            TagTable& values)
{
    struct stat st {};
    if (::fstatat(dirFd, name, &st, 0) != 0 || !S_ISREG(st.st_mode))
        return Look::kNotRegular;
    stamp = StampOf(st);
    ChartHashes hashes;
    return options.index->FindChart(path, name, stamp, options.hashes, values, hashes) ? Look::kKnown : Look::kUnknown;
}

}  // namespace

int ReadChartValues(HeaderReader& reader, const ScanOptions& options, int dirFd, const std::string& path,
                    const char* name, unsigned char type, TagTable& values)
{
    ChartIndex* const index = options.index;
    if (index == nullptr)
        return reader.ReadHeaders(dirFd, name, values, type == DT_REG);
    // A chart the index has never seen is read without a look first: the
    // look at the opened file tells what to keep.
    const bool known = index->KnowsChart(path, name);
    ChartStamp stamp;
    if (known) {
        switch (LookUp(options, dirFd, path, name, stamp, values)) {
        case Look::kNotRegular:
            // Empty values, as ReadHeaders gives them; nothing to keep.
            values.Clear();
            return 0;
        case Look::kKnown:
            return 0;
        case Look::kUnknown:
            break;
        }
    }
    if (const int error = reader.ReadHeaders(dirFd, name, values, known || type == DT_REG))
        return error;
    // Kept only when the file read whole is the one looked at: one replaced
    // in between is read again next time.
    const struct stat* read = reader.LastFileRead();
    if (read != nullptr && (!known || StampOf(*read) == stamp)) {
        const ChartHashes hashes;
        index->RecordChart(path, name, StampOf(*read), values, hashes);
    }
    return 0;
}

bool FindKnownChartValues(const ScanOptions& options, int dirFd, const std::string& path, const char* name,
                          TagTable& values)
{
    if (!options.index->KnowsChart(path, name))
        return false;
    ChartStamp stamp;
    switch (LookUp(options, dirFd, path, name, stamp, values)) {
    case Look::kNotRegular:
        values.Clear();
        return true;
    case Look::kKnown:
        return true;
    case Look::kUnknown:
        break;
    }
    return false;
}

}  // namespace tamboro
