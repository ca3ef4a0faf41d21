// The one step from the values read from charts to the rows a sink gets,
// whichever way the charts were read: each chart's values become a row of
// its folder with the next insertion index; a folder's rows go to the sink
// together once the folder is finished, followed by the progress title;
// once the row limit is reached, folders that come up list no charts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "search/ChartHashes.h"
#include "search/ChartRow.h"
#include "search/HeaderTags.h"
#include "search/ScanSink.h"

namespace tamboro {

class RowLister {
public:
    // `rowLimit` < 0: no limit.
    RowLister(ScanSink& sink, int64_t rowLimit) : m_sink(sink), m_rowLimit(rowLimit) {}

    // The folder `path` (ending in "/") was entered.
    void Entered(const std::string& path) { m_sink.FolderEntered(path); }
    // Whether the charts of a folder whose charts come up now are listed:
    // until the row limit is reached.
    bool ListsCharts() const { return m_rowLimit < 0 || m_count < m_rowLimit; }
    // One chart of the folder `path`, the file `name`, in the order found:
    // its values, and its digests when given, are moved into a new row (a
    // reader's table is left to be filled again).
    void AddChart(const std::string& path, const char* name, TagTable& values, ChartHashes* hashes = nullptr);
    // The folder `path` is finished: its rows go to the sink, then the title.
    void Finished(const std::string& path);

    // The rows handed to the sink (charts of a folder the scan ended in
    // before it was finished are not listed, and not counted).
    int32_t Count() const { return m_count; }

private:
    ScanSink& m_sink;
    const int64_t m_rowLimit;
    int32_t m_count = 0;
    std::vector<ChartRow> m_batch;  // of the folder being listed
};

}  // namespace tamboro
