// Reading a table's files from their bytes, without fetching anything: the
// page's pointer to its header, the header, the entries. Every input is
// untrusted; nothing here throws, and an error is one line of text with the
// byte position where it applies.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tables/DifficultyTable.h"
#include "tables/TableResult.h"

namespace tamboro {

struct TableHeader {
    std::string name;
    std::string symbol;
    // As written (relative or absolute), in the header's order.
    std::vector<std::string> dataAddresses;
    std::vector<std::string> levelOrder;
    // "source": carried only by Tamboro's own copies of a table.
    std::string source;
};

// The bytes of a file with a leading UTF-8 byte-order mark and the control
// characters and white space around them cut off; `offset` is where they
// start in the file.
struct TrimmedBytes {
    std::string_view bytes;
    std::size_t offset = 0;
};
TrimmedBytes TrimTableBytes(std::string_view bytes);

// The content of a page's <meta name="bmstable" content="..."> (the
// header's address), trimmed and with the HTML entities of addresses
// decoded; nothing when the page has no such meta.
std::optional<std::string> FindHeaderAddress(std::string_view html);

// A header: a JSON object with "name" and "symbol"; "data_url" a text or a
// list of texts; "level_order" (or "levels") a list of texts or numbers.
// Other keys are ignored. A header without data_url is not an error here.
TableResult<TableHeader> ParseTableHeader(std::string_view bytes);

// Appends the entries of a data file (a JSON array of entries, or an object
// whose "charts" is one) to `entries`: every object of the list, each with
// its hashes when usable (TableEntry) and its level, empty when it has none.
// The result counts the entries appended without a usable hash.
TableResult<std::size_t> ParseTableEntries(std::string_view bytes, std::vector<TableEntry>& entries);

}  // namespace tamboro
