#include "tables/TableReader.h"

#include <filesystem>

#include "tables/TableParser.h"
#include "tables/TableUrl.h"

namespace tamboro {
namespace {

using TableRead = TableResult<DifficultyTable>;

constexpr TableFailure kNotATable{TableFailure::Kind::NotATable, 0};

std::string AddressOfSource(const std::string& source)
{
    if (IsFetchableAddress(source))
        return source;
    std::error_code error;
    const auto absolute = std::filesystem::absolute(source, error);
    return FileAddressOf(error ? source : absolute.lexically_normal().string());
}

bool StartsLikeJsonObject(std::string_view bytes)
{
    const TrimmedBytes trimmed = TrimTableBytes(bytes);
    return !trimmed.bytes.empty() && trimmed.bytes.front() == '{';
}

std::string Failure(const std::string& address, const std::string& reason)
{
    return address + ": " + reason;
}

}  // namespace

TableResult<FetchedBody> TableReader::FetchLinked(const std::string& base, const std::string& reference, bool fromWeb)
{
    const std::string address = ResolveAddress(base, reference);
    const std::string scheme = SchemeOf(address);
    if (fromWeb && scheme != "http" && scheme != "https")
        return TableResult<FetchedBody>::Failed(Failure(address, "a table on the web may only name web addresses"),
                                                {TableFailure::Kind::WebNamesLocal, 0});
    return m_fetcher.Fetch(address);
}

TableResult<FetchedBody> TableReader::FetchHeader(const std::string& address, bool fromWeb)
{
    auto first = m_fetcher.Fetch(address);
    // A page names its header; a header is read as it is.
    if (!first || StartsLikeJsonObject(first->bytes))
        return first;
    const auto headerAddress = FindHeaderAddress(first->bytes);
    if (!headerAddress)
        return TableResult<FetchedBody>::Failed(
            Failure(first->finalAddress, "neither a table's header nor a page with a bmstable meta"), kNotATable);
    auto header = FetchLinked(first->finalAddress, *headerAddress, fromWeb);
    if (header && !StartsLikeJsonObject(header->bytes))
        return TableResult<FetchedBody>::Failed(Failure(header->finalAddress, "not a table's header (no JSON object)"),
                                                kNotATable);
    return header;
}

TableResult<std::size_t> TableReader::ReadData(const std::string& headerAddress, const TableHeader& header,
                                               bool fromWeb, std::vector<TableEntry>& entries)
{
    std::size_t dataBytes = 0;
    for (const std::string& dataAddress : header.dataAddresses) {
        const auto data = FetchLinked(headerAddress, dataAddress, fromWeb);
        if (!data)
            return TableResult<std::size_t>::Failed(data.Error(), data.Failure());
        dataBytes += data->bytes.size();
        if (dataBytes > m_fetcher.Limits().maxBytes)
            return TableResult<std::size_t>::Failed(
                Failure(data->finalAddress, "the table's data together are larger than the cap"),
                {TableFailure::Kind::TooLarge, static_cast<long long>(m_fetcher.Limits().maxBytes)});
        const auto read = ParseTableEntries(data->bytes, entries);
        if (!read)
            return TableResult<std::size_t>::Failed(Failure(data->finalAddress, read.Error()), kNotATable);
    }
    return TableResult<std::size_t>::Ok(entries.size());
}

TableRead TableReader::Read(const std::string& source)
{
    const std::string address = AddressOfSource(source);
    const bool fromWeb = SchemeOf(address) != "file";
    const auto header = FetchHeader(address, fromWeb);
    if (!header)
        return TableRead::Failed(header.Error(), header.Failure());
    auto parsed = ParseTableHeader(header->bytes);
    if (!parsed)
        return TableRead::Failed(Failure(header->finalAddress, parsed.Error()), kNotATable);
    if (parsed->dataAddresses.empty())
        return TableRead::Failed(Failure(header->finalAddress, "the header has no data_url"), kNotATable);

    DifficultyTable table;
    table.source = source;
    table.name = std::move(parsed->name);
    table.symbol = std::move(parsed->symbol);
    table.levelOrder = std::move(parsed->levelOrder);
    const auto read = ReadData(header->finalAddress, *parsed, fromWeb, table.entries);
    if (!read)
        return TableRead::Failed(read.Error(), read.Failure());
    return TableRead::Ok(std::move(table));
}

}  // namespace tamboro
