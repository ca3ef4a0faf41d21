#include "results/ListColumn.h"

#include <algorithm>

namespace tamboro {

std::optional<ListColumn> ColumnNamed(std::string_view name)
{
    for (std::size_t column = 0; column < kColumnSpecs.size(); ++column) {
        if (kColumnSpecs[column].name == name)
            return static_cast<ListColumn>(column);
    }
    return std::nullopt;
}

std::optional<std::vector<ListColumn>> ParseColumnList(std::string_view list, std::string& badName)
{
    badName.clear();
    std::vector<ListColumn> columns;
    for (;;) {
        const std::size_t comma = list.find(',');
        const std::string_view name = list.substr(0, comma);
        const std::optional<ListColumn> column = ColumnNamed(name);
        if (!column || std::find(columns.begin(), columns.end(), *column) != columns.end()) {
            badName = name;
            return std::nullopt;
        }
        columns.push_back(*column);
        if (comma == std::string_view::npos)
            return columns;
        list.remove_prefix(comma + 1);
    }
}

bool NeedsHashes(const std::vector<ListColumn>& columns)
{
    return std::any_of(columns.begin(), columns.end(), [](ListColumn column) {
        return column == kColumnMd5 || column == kColumnSha256 || column == kColumnTable;
    });
}

}  // namespace tamboro
