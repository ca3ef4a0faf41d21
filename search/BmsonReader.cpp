#include "search/BmsonReader.h"

#include <charconv>
#include <nlohmann/json.hpp>
#include <string>

#include "search/HeaderReader.h"

namespace tamboro {
namespace {

using Json = nlohmann::json;

char AsciiLower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

bool ContainsWord(std::string_view text, std::string_view upperWord)
{
    std::string upper(text);
    for (char& c : upper)
        c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - ('a' - 'A')) : c;
    return upper.find(upperWord) != std::string::npos;
}

// A value as the row shows it: strings as written, numbers in their
// shortest form, anything else nothing.
std::string ValueText(const Json& value)
{
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_number_integer())
        return std::to_string(value.get<int64_t>());
    if (value.is_number_unsigned())
        return std::to_string(value.get<uint64_t>());
    if (value.is_number_float()) {
        char text[32];
        const auto result = std::to_chars(text, text + sizeof text, value.get<double>());
        return std::string(text, result.ptr);
    }
    return std::string();
}

std::string MemberText(const Json& info, const char* key)
{
    const auto found = info.find(key);
    return found == info.end() ? std::string() : ValueText(*found);
}

std::string JoinedSubartists(const Json& info)
{
    const auto found = info.find("subartists");
    if (found == info.end())
        return std::string();
    if (!found->is_array())
        return ValueText(*found);
    std::string joined;
    for (const Json& item : *found) {
        const std::string text = ValueText(item);
        if (text.empty())
            continue;
        if (!joined.empty())
            joined += ", ";
        joined += text;
    }
    return joined;
}

// #DIFFICULTY of a chart name such as "HYPER" or "7KEYS ANOTHER".
std::string DifficultyOf(std::string_view chartName)
{
    static constexpr std::pair<std::string_view, const char*> kNames[] = {
        {"BEGINNER", "1"}, {"NORMAL", "2"}, {"HYPER", "3"}, {"ANOTHER", "4"}, {"LEGGENDARIA", "5"}, {"INSANE", "5"},
    };
    for (const auto& [word, difficulty] : kNames) {
        if (ContainsWord(chartName, word))
            return difficulty;
    }
    return std::string();
}

void Put(TagTable& tags, TagId tag, std::string value)
{
    if (value.size() > HeaderReader::kMaxValueLength)
        value.resize(HeaderReader::kMaxValueLength);
    tags.Value(tag) = std::move(value);
}

}  // namespace

bool IsBmsonName(std::string_view name)
{
    constexpr std::string_view kEnding = ".bmson";
    if (name.size() <= kEnding.size())
        return false;
    const std::string_view tail = name.substr(name.size() - kEnding.size());
    for (std::size_t i = 0; i < kEnding.size(); ++i) {
        if (AsciiLower(tail[i]) != kEnding[i])
            return false;
    }
    return true;
}

void ParseBmson(std::string_view bytes, TagTable& tags)
{
    tags.Clear();
    if (bytes.size() > kMaxBmsonBytes)
        return;
    // Only "info" is kept: the notes, often most of the file, are parsed and
    // dropped as they go.
    const Json::parser_callback_t keepInfoOnly = [](int depth, Json::parse_event_t event, Json& parsed) {
        return !(depth == 1 && event == Json::parse_event_t::key && parsed != "info");
    };
    const Json root = Json::parse(bytes.begin(), bytes.end(), keepInfoOnly, /*allow_exceptions=*/false);
    if (!root.is_object())
        return;
    const auto info = root.find("info");
    if (info == root.end() || !info->is_object())
        return;

    std::string subtitle = MemberText(*info, "subtitle");
    const std::string chartName = MemberText(*info, "chart_name");
    if (!chartName.empty())
        subtitle += (subtitle.empty() ? "[" : " [") + chartName + "]";

    Put(tags, TagOf("#TITLE "), MemberText(*info, "title"));
    Put(tags, TagOf("#SUBTITLE "), std::move(subtitle));
    Put(tags, TagOf("#ARTIST "), MemberText(*info, "artist"));
    Put(tags, TagOf("#SUBARTIST "), JoinedSubartists(*info));
    Put(tags, TagOf("#GENRE "), MemberText(*info, "genre"));
    Put(tags, TagOf("#PLAYLEVEL "), MemberText(*info, "level"));
    Put(tags, TagOf("#DIFFICULTY "), DifficultyOf(chartName));
    Put(tags, TagOf("#BPM "), MemberText(*info, "init_bpm"));
    Put(tags, TagOf("#TOTAL "), MemberText(*info, "total"));
}

}  // namespace tamboro
