#include "search/RowLister.h"

#include <utility>

namespace tamboro {

void RowLister::AddChart(const std::string& path, const char* name, TagTable& values, ChartHashes* hashes)
{
    ChartRow& row = m_batch.emplace_back();
    row.folder = path;
    row.file = name;
    // Moved, not copied: values may be long, and the reader fills its
    // table afresh for the next chart.
    row.values = std::move(values);
    if (hashes != nullptr) {
        row.md5 = std::move(hashes->md5);
        row.sha256 = std::move(hashes->sha256);
    }
    row.index = static_cast<uint32_t>(m_count) + static_cast<uint32_t>(m_batch.size() - 1);
}

void RowLister::Finished(const std::string& path)
{
    if (!m_batch.empty()) {
        m_count += static_cast<int32_t>(m_batch.size());
        m_sink.AddRows(m_batch);
        m_batch.clear();
    }
    m_sink.SetTitle(FormatTitle(m_count, path));
}

}  // namespace tamboro
