#include "search/ChartTypes.h"

#include <algorithm>

namespace tamboro {
namespace {

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool IsAsciiAlnum(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

ChartTypes::ChartTypes() : m_endings{"bms"}
{}

std::optional<ChartTypes> ChartTypes::Parse(std::string_view list)
{
    ChartTypes types;
    types.m_endings.clear();
    for (;;) {
        const std::size_t comma = list.find(',');
        const std::string_view item = list.substr(0, comma);
        if (item.empty() || !std::all_of(item.begin(), item.end(), IsAsciiAlnum))
            return std::nullopt;
        std::string ending;
        for (const char c : item)
            ending += AsciiLower(c);
        if (std::find(types.m_endings.begin(), types.m_endings.end(), ending) == types.m_endings.end())
            types.m_endings.push_back(std::move(ending));
        if (comma == std::string_view::npos)
            return types;
        list.remove_prefix(comma + 1);
    }
}

bool ChartTypes::Matches(std::string_view name) const
{
    for (const std::string& ending : m_endings) {
        const std::size_t n = ending.size();
        if (name.size() < n + 1 || name[name.size() - n - 1] != '.')
            continue;
        const char* tail = name.data() + name.size() - n;
        std::size_t i = 0;
        while (i < n && AsciiLower(tail[i]) == ending[i])
            ++i;
        if (i == n)
            return true;
    }
    return false;
}

}  // namespace tamboro
