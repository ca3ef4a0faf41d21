#include "tables/TableReader.h"

#include <filesystem>

#include "tables/TableParser.h"
#include "tables/TableUrl.h"

namespace tamboro {
namespace {

using TableRead = TableResult<DifficultyTable>;

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
        return TableResult<FetchedBody>::Failed(Failure(address, "a table on the web may only name web addresses"));
    return m_fetcher.Fetch(address);
}

TableRead TableReader::Read(const std::string& source)
{
    const std::string address = AddressOfSource(source);
    const bool fromWeb = SchemeOf(address) != "file";
    auto first = m_fetcher.Fetch(address);
    if (!first)
        return TableRead::Failed(first.Error());

    // A page names its header; a header is read as it is.
    auto header = std::move(first);
    if (!StartsLikeJsonObject(header->bytes)) {
        const auto headerAddress = FindHeaderAddress(header->bytes);
        if (!headerAddress)
            return TableRead::Failed(Failure(header->finalAddress, "neither a table's header nor a page with a "
                                                                   "bmstable meta"));
        header = FetchLinked(header->finalAddress, *headerAddress, fromWeb);
        if (!header)
            return TableRead::Failed(header.Error());
        if (!StartsLikeJsonObject(header->bytes))
            return TableRead::Failed(Failure(header->finalAddress, "not a table's header (no JSON object)"));
    }
    auto parsed = ParseTableHeader(header->bytes);
    if (!parsed)
        return TableRead::Failed(Failure(header->finalAddress, parsed.Error()));
    if (parsed->dataAddresses.empty())
        return TableRead::Failed(Failure(header->finalAddress, "the header has no data_url"));

    DifficultyTable table;
    table.source = source;
    table.name = std::move(parsed->name);
    table.symbol = std::move(parsed->symbol);
    table.levelOrder = std::move(parsed->levelOrder);
    const std::string headerAddress = header->finalAddress;
    header->bytes = std::string();
    std::size_t dataBytes = 0;
    for (const std::string& dataAddress : parsed->dataAddresses) {
        const auto data = FetchLinked(headerAddress, dataAddress, fromWeb);
        if (!data)
            return TableRead::Failed(data.Error());
        dataBytes += data->bytes.size();
        if (dataBytes > m_fetcher.Limits().maxBytes)
            return TableRead::Failed(Failure(data->finalAddress, "the table's data together are larger than the cap"));
        const auto entries = ParseTableEntries(data->bytes, table.entries);
        if (!entries)
            return TableRead::Failed(Failure(data->finalAddress, entries.Error()));
    }
    return TableRead::Ok(std::move(table));
}

}  // namespace tamboro
