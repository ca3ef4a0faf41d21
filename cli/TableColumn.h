// The difficulty tables given with --table: read before the scan, they fill
// each row's table column, and know which of their entries no row matched
// (--missing).
#pragma once

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "search/ChartRow.h"
#include "tables/DifficultyTable.h"
#include "tables/TableMatch.h"

namespace tamboro {

class TableColumn {
public:
    // What Fill does besides the column: the sort key (--sort table), the
    // digests noted (--missing).
    struct Uses {
        bool sortKeys = false;
        bool missing = false;
    };

    TableColumn() = default;
    // Waits for a reading started.
    ~TableColumn();
    TableColumn(const TableColumn&) = delete;
    TableColumn& operator=(const TableColumn&) = delete;

    // Reads every source in the order given. False, with one line naming
    // the source and the reason in `error`, when one cannot be read.
    bool Read(const std::vector<std::string>& sources, Uses uses, std::string& error);
    // Read on a thread of its own (on this one when none starts), so that
    // the caller can open the index meanwhile; FinishReading waits for it
    // and gives what Read gives.
    void StartReading(std::vector<std::string> sources, Uses uses);
    bool FinishReading(std::string& error);

    // One line per table read that has entries without a usable hash,
    // saying how many, for standard error.
    const std::vector<std::string>& Notes() const { return m_notes; }

    // Sets each row's table column (and what `uses` asks for).
    void Fill(std::vector<ChartRow>& rows);

    // One line per table entry that no row noted matches, table by table in
    // the order given and in each table's order: symbol and level, title,
    // artist, md5, sha256, url, url_diff and the hash it is matched by
    // ("none" for an entry without one, which no row matches),
    // TAB-separated and escaped.
    std::string MissingLines() const;

private:
    void NoteEntriesWithoutHash(const DifficultyTable& table);

    std::thread m_reading;
    bool m_read = false;
    std::string m_readError;
    std::vector<std::string> m_notes;
    std::vector<DifficultyTable> m_tables;
    std::unique_ptr<TableMatch> m_match;
    LibraryHashes m_library;
    Uses m_uses;
};

}  // namespace tamboro
