// A difficulty table: a community list of charts, each with a level, keyed
// by the chart's hash.
#pragma once

#include <string>
#include <vector>

namespace tamboro {

// What an entry is matched by: its md5 when it has one, else its sha256;
// None when the table gave neither in a usable form.
enum class EntryHash { Md5, Sha256, None };

// One chart of a table. Hashes are lowercase hex; `md5` is set when the
// table gave 32 hex digits, `sha256` when it gave 64 (white space around them
// dropped). An entry may have neither (it then matches no chart) and an
// empty level.
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

    EntryHash Hash() const
    {
        if (!md5.empty())
            return EntryHash::Md5;
        return sha256.empty() ? EntryHash::None : EntryHash::Sha256;
    }

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
