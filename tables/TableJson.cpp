#include "tables/TableJson.h"

#include <nlohmann/json.hpp>

#include "tables/TableParser.h"

namespace tamboro {
namespace {

using Json = nlohmann::json;

// Compact, as tables of thousands of entries are; `indent` for a header.
std::string Dump(const Json& json, int indent = -1)
{
    return json.dump(indent, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json HeaderObject(std::string_view name, std::string_view symbol, const std::vector<std::string>& levelOrder)
{
    Json header = Json::object();
    header["name"] = name;
    header["symbol"] = symbol;
    if (!levelOrder.empty())
        header["level_order"] = levelOrder;
    return header;
}

Json EntriesArray(const std::vector<TableEntry>& entries)
{
    Json list = Json::array();
    for (const TableEntry& entry : entries) {
        Json item = Json::object();
        auto put = [&](const char* key, const std::string& value) {
            if (!value.empty())
                item[key] = value;
        };
        item["level"] = entry.level;
        put("md5", entry.md5);
        put("sha256", entry.sha256);
        put("title", entry.title);
        put("artist", entry.artist);
        put("url", entry.url);
        put("url_diff", entry.urlDiff);
        put("name_diff", entry.nameDiff);
        put("comment", entry.comment);
        list.push_back(std::move(item));
    }
    return list;
}

}  // namespace

std::string HeaderJson(std::string_view name, std::string_view symbol, const std::vector<std::string>& levelOrder,
                       std::string_view dataAddress)
{
    Json header = HeaderObject(name, symbol, levelOrder);
    header["data_url"] = dataAddress;
    return Dump(header, 2);
}

std::string EntriesJson(const std::vector<TableEntry>& entries)
{
    return Dump(EntriesArray(entries));
}

std::string TableJson(const DifficultyTable& table)
{
    Json json = HeaderObject(table.name, table.symbol, table.levelOrder);
    json["source"] = table.source;
    json["charts"] = EntriesArray(table.entries);
    return Dump(json);
}

TableResult<DifficultyTable> ParseTableJson(std::string_view bytes)
{
    auto header = ParseTableHeader(bytes);
    if (!header)
        return TableResult<DifficultyTable>::Failed(header.Error());
    DifficultyTable table;
    table.source = std::move(header->source);
    table.name = std::move(header->name);
    table.symbol = std::move(header->symbol);
    table.levelOrder = std::move(header->levelOrder);
    const auto entries = ParseTableEntries(bytes, table.entries);
    if (!entries)
        return TableResult<DifficultyTable>::Failed(entries.Error());
    return TableResult<DifficultyTable>::Ok(std::move(table));
}

}  // namespace tamboro
