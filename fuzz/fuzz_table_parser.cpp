// Fuzz target for reading a difficulty table's files from their bytes.
//
// Every input is read as a page (the bmstable meta), as a header and as a
// data file. Checked for every input:
//  - nothing crashes or hangs;
//  - a header address found is trimmed;
//  - each data address of a header resolves against a web address to one on
//    the same host, unless it is a full address, and without "." or ".."
//    segments;
//  - every entry's hashes are usable or empty: an md5 of 32 lowercase hex
//    digits, a sha256 of 64, and the count of entries with neither is the
//    parser's result;
//  - the entries written as JSON read back the same, and so does the whole
//    table in the cache's form.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "tables/TableJson.h"
#include "tables/TableParser.h"
#include "tables/TableUrl.h"

namespace {

using namespace tamboro;

[[noreturn]] void Fail(const char* what, std::string_view input)
{
    std::fprintf(stderr, "table parser: %s\n  input (%zu bytes):", what, input.size());
    for (std::size_t i = 0; i < input.size() && i < 64; ++i)
        std::fprintf(stderr, " %02X", static_cast<unsigned char>(input[i]));
    std::fputs(input.size() > 64 ? " ...\n" : "\n", stderr);
    std::abort();
}

bool HasDotSegment(std::string_view address)
{
    // The path: after "scheme://authority", before the query.
    address = address.substr(0, address.find_first_of("?#"));
    const auto authority = address.find("://");
    const auto slash = authority == std::string_view::npos ? 0 : address.find('/', authority + 3);
    const std::string_view path = slash == std::string_view::npos ? std::string_view() : address.substr(slash);
    for (std::string_view dots : {"/./", "/../"})
        if (path.find(dots) != std::string_view::npos)
            return true;
    return path.ends_with("/.") || path.ends_with("/..");
}

void CheckAddresses(const TableHeader& header, std::string_view input)
{
    for (const std::string& reference : header.dataAddresses) {
        const std::string resolved = ResolveAddress("http://host.example/a/b/header.json", reference);
        const bool full = !SchemeOf(reference).empty() || reference.starts_with("//");
        if (!full && !resolved.starts_with("http://host.example/"))
            Fail("a relative address left the host", input);
        if (HasDotSegment(resolved))
            Fail("a dot segment left in a resolved address", input);
    }
}

bool IsLowerHex(const std::string& hash, std::size_t digits)
{
    return hash.size() == digits && hash.find_first_not_of("0123456789abcdef") == std::string::npos;
}

void CheckEntries(const std::vector<TableEntry>& entries, std::size_t withoutHash, std::string_view input)
{
    std::size_t counted = 0;
    for (const TableEntry& entry : entries) {
        if (!entry.md5.empty() && !IsLowerHex(entry.md5, 32))
            Fail("an md5 that is not 32 lowercase hex digits", input);
        if (!entry.sha256.empty() && !IsLowerHex(entry.sha256, 64))
            Fail("a sha256 that is not 64 lowercase hex digits", input);
        counted += entry.Hash() == EntryHash::None ? 1 : 0;
    }
    if (counted != withoutHash)
        Fail("the entries without a hash are not those counted", input);
    std::vector<TableEntry> again;
    const auto reread = ParseTableEntries(EntriesJson(entries), again);
    if (!reread || *reread != withoutHash || again != entries)
        Fail("the entries written do not read back the same", input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    if (const auto address = FindHeaderAddress(input)) {
        if (!address->empty() && (address->front() == ' ' || address->back() == ' '))
            Fail("a header address not trimmed", input);
    }
    DifficultyTable table;
    if (const auto header = ParseTableHeader(input)) {
        CheckAddresses(*header, input);
        table.name = header->name;
        table.symbol = header->symbol;
        table.levelOrder = header->levelOrder;
    }
    if (const auto withoutHash = ParseTableEntries(input, table.entries)) {
        CheckEntries(table.entries, *withoutHash, input);
        table.source = "file:///t";
        const auto cached = ParseTableJson(TableJson(table));
        if (!cached || *cached != table)
            Fail("the table in the cache's form does not read back the same", input);
    }
    return 0;
}
