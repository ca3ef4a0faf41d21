// A difficulty table: a community list of charts, each with a level, keyed
// by the chart's hash.
#pragma once

#include <string>
#include <vector>

namespace tamboro {

// One chart of a table. Hashes are lowercase; `md5` is set when the table
// gave 32 hex digits, `sha256` when it gave more than 24 characters; an entry
// always has one of them and a level.
struct TableEntry {
    std::string level;
    std::string md5;
    std::string sha256;
    std::string title;
    std::string artist;
    std::string url;
    std::string urlDiff;
    std::string nameDiff;
    std::string comment;

    bool operator==(const TableEntry&) const = default;
};

struct DifficultyTable {
    // The address or path the table was read from.
    std::string source;
    std::string name;
    // Written before each level, e.g. "★" in "★12".
    std::string symbol;
    // The order of the levels, when the table gives one.
    std::vector<std::string> levelOrder;
    // In the table's order.
    std::vector<TableEntry> entries;

    bool operator==(const DifficultyTable&) const = default;
};

}  // namespace tamboro
