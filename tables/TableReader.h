// Reads a whole table: from its page (or its header, or a local file of
// either) to the header, then every data file it names.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tables/DifficultyTable.h"
#include "tables/TableFetcher.h"
#include "tables/TableParser.h"
#include "tables/TableResult.h"

namespace tamboro {

class TableReader {
public:
    explicit TableReader(TableFetcher& fetcher) : m_fetcher(fetcher) {}

    // `source`: an http, https or file address, or a local path, of the
    // table's page or header. The table's entries keep the order of its data
    // files and of the entries in each. A table on the web only ever leads to
    // web addresses; the data of one table together are held to the
    // fetcher's size cap. Errors read "ADDRESS: reason".
    TableResult<DifficultyTable> Read(const std::string& source);

private:
    // The header's bytes, through the page when `address` is one.
    TableResult<FetchedBody> FetchHeader(const std::string& address, bool fromWeb);
    // Appends the entries of every data file the header names.
    TableResult<std::size_t> ReadData(const std::string& headerAddress, const TableHeader& header, bool fromWeb,
                                      std::vector<TableEntry>& entries);
    TableResult<FetchedBody> FetchLinked(const std::string& base, const std::string& reference, bool fromWeb);

    TableFetcher& m_fetcher;
};

}  // namespace tamboro
