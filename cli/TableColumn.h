// The difficulty tables given with --table: read before the scan, they fill
// each row's table column, and know which of their entries no row matched
// (--missing).
#pragma once

#include <memory>
#include <string>
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

    // Reads every source in the order given. False, with one line naming
    // the source and the reason in `error`, when one cannot be read.
    bool Read(const std::vector<std::string>& sources, Uses uses, std::string& error);

    // Sets each row's table column (and what `uses` asks for).
    void Fill(std::vector<ChartRow>& rows);

    // One line per table entry that no row noted matches, table by table in
    // the order given and in each table's order: symbol and level, title,
    // artist, md5, sha256, url, url_diff, TAB-separated and escaped.
    std::string MissingLines() const;

private:
    std::vector<DifficultyTable> m_tables;
    std::unique_ptr<TableMatch> m_match;
    LibraryHashes m_library;
    Uses m_uses;
};

}  // namespace tamboro
