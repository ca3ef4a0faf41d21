#include "search/ChartValuesRead.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/ReadAccess.h"
#include "search/ChartIndex.h"

namespace tamboro {
namespace {

enum class Look { kNotRegular, kKnown, kUnknown };

// Asks the index about the chart as `look` saw it (through what it keeps
// of it, when that was found already).
Look LookUp(const ScanOptions& options, const std::string& path, const char* name, const ChartLook& look,
            const KeptChartRef* kept, TagTable& values, ChartHashes& hashes)
{
    if (!look.regular)
        return Look::kNotRegular;
    // What was kept stands only for a chart a plain scan could read: one
    // this user may not read is read, and fails, as then.
    if (!look.readable)
        return Look::kUnknown;
    ChartIndex& index = *options.index;
    const bool found = kept != nullptr ? index.FindChart(*kept, name, look.stamp, options.hashes, values, hashes)
                                       : index.FindChart(path, name, look.stamp, options.hashes, values, hashes);
    return found ? Look::kKnown : Look::kUnknown;
}

// Tells the index what `reader` read, when the file read whole is the one
// `stamp` saw (`known`) or the chart was unknown.
void RecordReadChart(const HeaderReader& reader, ChartIndex& index, const std::string& path, const char* name,
                     bool known, const ChartStamp& stamp, const TagTable& values, const ChartHashes* hashes)
{
    // Kept only when the file read whole is the one looked at: one replaced
    // in between is read again next time.
    const struct stat* read = reader.LastFileRead();
    if (read == nullptr || (known && !(StampOf(*read) == stamp)))
        return;
    static const ChartHashes kNoHashes;
    index.RecordChart(path, name, StampOf(*read), values, hashes != nullptr ? *hashes : kNoHashes);
}

}  // namespace

ChartLook LookAtChart(int dirFd, const char* name)
{
    struct stat st {};
    ChartLook look;
    if (::fstatat(dirFd, name, &st, 0) == 0 && S_ISREG(st.st_mode)) {
        look.regular = true;
        look.readable = MayRead(dirFd, name, st.st_uid, st.st_mode);
        look.stamp = StampOf(st);
    }
    return look;
}

int ReadChartValues(HeaderReader& reader, const ScanOptions& options, int dirFd, const std::string& path,
                    const char* name, unsigned char type, TagTable& values, ChartHashes* hashes,
                    const ChartLook* looked, const KeptChartRef* kept)
{
    ChartIndex* const index = options.index;
    if (index == nullptr)
        return reader.ReadHeaders(dirFd, name, values, type == DT_REG, hashes);
    // A chart the index has never seen is read without a look first: the
    // look at the opened file tells what to keep.
    const bool known = looked != nullptr || kept != nullptr || index->KnowsChart(path, name);
    ChartStamp stamp;
    if (known) {
        const ChartLook look = looked != nullptr ? *looked : LookAtChart(dirFd, name);
        stamp = look.stamp;
        ChartHashes found;
        switch (LookUp(options, path, name, look, kept, values, found)) {
        case Look::kNotRegular:
            // Empty values, as ReadHeaders gives them; nothing to keep.
            values.Clear();
            if (hashes != nullptr)
                hashes->Clear();
            return 0;
        case Look::kKnown:
            if (hashes != nullptr)
                *hashes = std::move(found);
            return 0;
        case Look::kUnknown:
            break;
        }
    }
    if (const int error = reader.ReadHeaders(dirFd, name, values, known || type == DT_REG, hashes))
        return error;
    RecordReadChart(reader, *index, path, name, known, stamp, values, hashes);
    return 0;
}

}  // namespace tamboro
