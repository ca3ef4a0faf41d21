#include "worker/MissingChartsRun.h"

#include "library/IndexLocation.h"
#include "library/SqliteChartIndex.h"
#include "search/FolderScan.h"
#include "tables/TableMatch.h"

namespace tamboro {

// Notes the digests of every chart listed; the rows themselves are dropped.
class MissingChartsRun::Sink : public ScanSink {
public:
    explicit Sink(MissingChartsRun& run) : m_run(run) {}

    void FolderEntered(const std::string& folder) override
    {
        std::lock_guard lock(m_run.m_mutex);
        m_run.m_folder = folder;
    }

    void AddRows(std::vector<ChartRow>& rows) override
    {
        for (const ChartRow& row : rows)
            library.Add(row.md5, row.sha256);
        m_run.m_charts.fetch_add(static_cast<std::int64_t>(rows.size()));
        rows.clear();
    }

    void SetTitle(const std::string&) override {}

    LibraryHashes library;

private:
    MissingChartsRun& m_run;
};

namespace {

std::unique_ptr<SqliteChartIndex> OpenIndex(const std::string& root, const ChartTypes& types)
{
    std::string file;
    if (DefaultIndexFile(root, file) != 0)
        return nullptr;
    // As the window's searches: a damaged index is rebuilt, one that cannot
    // be opened leaves the scan to run without it.
    return SqliteChartIndex::Open(file, root, types, true).index;
}

}  // namespace

MissingChartsRun::MissingChartsRun(DifficultyTable table, std::string root, ChartTypes types, bool useIndex)
    : m_tables{std::move(table)}
{
    m_thread =
        std::thread([this, root = std::move(root), types = std::move(types), useIndex] { Run(root, types, useIndex); });
}

MissingChartsRun::~MissingChartsRun()
{
    Stop();
    m_thread.join();
}

void MissingChartsRun::Run(const std::string& root, const ChartTypes& types, bool useIndex)
{
    Sink sink(*this);
    const std::unique_ptr<SqliteChartIndex> index = useIndex ? OpenIndex(root, types) : nullptr;
    ScanOptions options;
    options.stop = &m_stop;
    options.types = types;
    options.hashes = true;
    options.readers = FolderScan::DefaultReaders();
    options.index = index.get();
    const int error = FolderScan(sink, std::move(options)).Run(root);
    const bool stopped = m_stop.load();
    // What the library lacks is known only when all of it was seen.
    if (error == 0 && !stopped)
        ListMissing(sink.library);
    m_error.store(error);
    m_stopped.store(stopped);
    // The list waits for nothing else; an index that cannot be written is
    // the cache's loss only.
    m_running.store(false);
    if (index != nullptr)
        index->Save(error == 0 && !stopped);
}

void MissingChartsRun::ListMissing(const LibraryHashes& library)
{
    const TableMatch match(m_tables);
    const std::vector<const TableEntry*> entries = match.MissingEntries(0, library);
    std::vector<Missing> missing;
    missing.reserve(entries.size());
    for (const TableEntry* entry : entries)
        missing.push_back(Missing{*entry, match.LevelRank(0, entry->level)});
    std::lock_guard lock(m_mutex);
    m_missing = std::move(missing);
}

std::string MissingChartsRun::CurrentFolder()
{
    std::lock_guard lock(m_mutex);
    return m_folder;
}

std::vector<MissingChartsRun::Missing> MissingChartsRun::TakeMissing()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_missing, {});
}

}  // namespace tamboro
