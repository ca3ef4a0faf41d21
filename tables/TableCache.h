// The last copy of each table read, for when its server cannot be reached:
// one file per table in $XDG_CACHE_HOME/tamboro/tables/ (~/.cache/... when
// unset), named after the table's source, readable by the user alone.
#pragma once

#include <string>

#include "tables/DifficultyTable.h"
#include "tables/TableReader.h"
#include "tables/TableResult.h"

namespace tamboro {

class TableCache {
public:
    // The user's cache folder for tables.
    TableCache();
    explicit TableCache(std::string folder) : m_folder(std::move(folder)) {}

    const std::string& Folder() const { return m_folder; }
    // The file that keeps the table read from `source`.
    std::string PathOf(const std::string& source) const;

    // Replaces the kept copy of table.source's table (the folder is made
    // when missing).
    TableResult<std::string> Store(const DifficultyTable& table) const;
    TableResult<DifficultyTable> Load(const std::string& source) const;

    // Reads the table and keeps it; when reading fails, the kept copy, with
    // the reading's error.
    struct Read {
        TableResult<DifficultyTable> table;
        bool fromCache = false;
        std::string readError;
        TableFailure readFailure;
    };
    Read ReadThrough(TableReader& reader, const std::string& source) const;

private:
    std::string m_folder;
};

}  // namespace tamboro
