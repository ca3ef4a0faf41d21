#include "cli/TableColumn.h"

#include <algorithm>
#include <system_error>

#include "results/MissingLine.h"
#include "tables/TableFetcher.h"
#include "tables/TableReader.h"

namespace tamboro {

bool TableColumn::Read(const std::vector<std::string>& sources, Uses uses, std::string& error)
{
    m_uses = uses;
    TableFetcher fetcher;
    TableReader reader(fetcher);
    for (const std::string& source : sources) {
        TableResult<DifficultyTable> table = reader.Read(source);
        if (!table) {
            error = table.Error();
            return false;
        }
        NoteEntriesWithoutHash(*table);
        m_tables.push_back(std::move(*table));
    }
    m_match = std::make_unique<TableMatch>(m_tables);
    return true;
}

void TableColumn::NoteEntriesWithoutHash(const DifficultyTable& table)
{
    const auto count = std::count_if(table.entries.begin(), table.entries.end(),
                                     [](const TableEntry& entry) { return entry.Hash() == EntryHash::None; });
    if (count == 0)
        return;
    m_notes.push_back("table " + table.source + ": " + std::to_string(count) + " of " +
                      std::to_string(table.entries.size()) +
                      " entries have no usable md5 or sha256 and match no chart (--missing lists them with hash none)");
}

TableColumn::~TableColumn()
{
    if (m_reading.joinable())
        m_reading.join();
}

void TableColumn::StartReading(std::vector<std::string> sources, Uses uses)
{
    const auto read = [this, sources = std::move(sources), uses] { m_read = Read(sources, uses, m_readError); };
    try {
        m_reading = std::thread(read);
    } catch (const std::system_error&) {
        read();
    }
}

bool TableColumn::FinishReading(std::string& error)
{
    if (m_reading.joinable())
        m_reading.join();
    error = m_readError;
    return m_read;
}

void TableColumn::Fill(std::vector<ChartRow>& rows)
{
    for (ChartRow& row : rows) {
        if (m_uses.missing) {
            m_library.Add(row.md5, row.sha256);
            continue;
        }
        row.table = m_match->ColumnText(row.md5, row.sha256);
        if (m_uses.sortKeys)
            row.tableKey = m_match->SortKey(row.md5, row.sha256).Bytes();
    }
}

std::string TableColumn::MissingLines() const
{
    std::string lines;
    for (std::size_t table = 0; table < m_tables.size(); ++table) {
        for (const TableEntry* entry : m_match->MissingEntries(table, m_library))
            AppendMissingLine(lines, m_tables[table].symbol, *entry);
    }
    return lines;
}

}  // namespace tamboro
