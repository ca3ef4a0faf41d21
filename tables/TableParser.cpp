#include "tables/TableParser.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace tamboro {
namespace {

using Json = nlohmann::json;

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsSpaceOrControl(unsigned char c)
{
    return c <= 0x20 || c == 0x7F;
}

bool IsHtmlSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// A scalar JSON value as text: texts as they are, numbers as written (an
// integer in decimal, a fraction as in the file); nothing for null, true,
// false and binary values.
struct Scalar {
    std::optional<std::string> text;
    bool isNumber = false;
};

// Turns the parser's events into container starts and ends, keys and
// scalars, and keeps the first syntax error with its byte position.
class TableSax : public nlohmann::json_sax<Json> {
public:
    explicit TableSax(std::size_t offset) : m_offset(offset) {}

    bool null() override { return OnScalar({}); }
    bool boolean(bool) override { return OnScalar({}); }
    bool number_integer(number_integer_t value) override { return OnScalar({std::to_string(value), true}); }
    bool number_unsigned(number_unsigned_t value) override { return OnScalar({std::to_string(value), true}); }
    bool number_float(number_float_t, const string_t& text) override { return OnScalar({text, true}); }
    bool string(string_t& value) override { return OnScalar({std::move(value), false}); }
    bool binary(binary_t&) override { return OnScalar({}); }
    bool start_object(std::size_t) override { return OnStart(true); }
    bool end_object() override { return OnEnd(); }
    bool start_array(std::size_t) override { return OnStart(false); }
    bool end_array() override { return OnEnd(); }
    bool key(string_t& name) override { return OnKey(std::move(name)); }

    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& error) override
    {
        std::string_view what = error.what();
        if (const auto bracket = what.find("] "); bracket != std::string_view::npos)
            what.remove_prefix(bracket + 2);
        // The parser counts the bytes read, the faulty one included.
        const std::size_t at = m_offset + (position > 0 ? position - 1 : 0);
        m_error = "invalid JSON at byte " + std::to_string(at) + ": " + std::string(what);
        return false;
    }

    const std::string& Error() const { return m_error; }

protected:
    // The containers open around the event, outermost first; true for objects.
    std::size_t Depth() const { return m_objects.size(); }
    bool InObject() const { return !m_objects.empty() && m_objects.back(); }
    bool Fail(std::string error)
    {
        m_error = std::move(error);
        return false;
    }

    virtual bool OnScalar(Scalar value) = 0;
    virtual bool OnKey(std::string name) = 0;
    // Called before the container is counted in Depth().
    virtual bool OnContainerStart(bool object) = 0;
    // Called after the container is no longer counted in Depth().
    virtual bool OnContainerEnd(bool object) = 0;

private:
    bool OnStart(bool object)
    {
        if (!OnContainerStart(object))
            return false;
        m_objects.push_back(object);
        return true;
    }
    bool OnEnd()
    {
        const bool object = m_objects.back();
        m_objects.pop_back();
        return OnContainerEnd(object);
    }

    std::size_t m_offset;
    std::vector<bool> m_objects;
    std::string m_error;
};

// The header: scalars and lists directly under the top object.
class HeaderSax : public TableSax {
public:
    using TableSax::TableSax;

    TableResult<TableHeader> Result(bool parsed)
    {
        if (!parsed)
            return TableResult<TableHeader>::Failed(Error());
        if (m_dataAddressInvalid)
            return TableResult<TableHeader>::Failed("data_url is neither a text nor a list of texts");
        if (!m_name)
            return TableResult<TableHeader>::Failed("the header has no name");
        if (!m_symbol)
            return TableResult<TableHeader>::Failed("the header has no symbol");
        m_header.name = std::move(*m_name);
        m_header.symbol = std::move(*m_symbol);
        m_header.levelOrder = m_levelOrder.empty() ? std::move(m_levels) : std::move(m_levelOrder);
        return TableResult<TableHeader>::Ok(std::move(m_header));
    }

private:
    enum class Key { Other, Name, Symbol, DataAddress, LevelOrder, Levels, Source };

    static Key KeyOf(std::string_view name)
    {
        if (name == "name")
            return Key::Name;
        if (name == "symbol")
            return Key::Symbol;
        if (name == "data_url")
            return Key::DataAddress;
        if (name == "level_order")
            return Key::LevelOrder;
        if (name == "levels")
            return Key::Levels;
        if (name == "source")
            return Key::Source;
        return Key::Other;
    }

    bool OnKey(std::string name) override
    {
        if (Depth() == 1)
            m_key = KeyOf(name);
        return true;
    }

    bool OnContainerStart(bool object) override
    {
        if (Depth() == 0 && !object)
            return Fail("not a header: a JSON list, not an object");
        if (Depth() == 1 && m_key == Key::DataAddress) {
            m_dataAddressInvalid = object;
            m_header.dataAddresses.clear();
        }
        if (Depth() == 1 && (m_key == Key::LevelOrder || m_key == Key::Levels))
            LevelList().clear();
        return true;
    }

    bool OnContainerEnd(bool) override { return true; }

    bool OnScalar(Scalar value) override
    {
        if (Depth() == 0)
            return Fail("not a header: a single JSON value, not an object");
        if (Depth() == 1)
            return OnTopScalar(std::move(value));
        if (Depth() == 2 && !InObject())
            OnListItem(std::move(value));
        return true;
    }

    bool OnTopScalar(Scalar value)
    {
        switch (m_key) {
        case Key::Name:
            m_name = std::move(value.text);
            break;
        case Key::Symbol:
            m_symbol = std::move(value.text);
            break;
        case Key::DataAddress:
            m_dataAddressInvalid = !value.text || value.isNumber;
            m_header.dataAddresses.clear();
            if (!m_dataAddressInvalid)
                m_header.dataAddresses.push_back(std::move(*value.text));
            break;
        case Key::Source:
            m_header.source = value.text.value_or(std::string());
            break;
        default:
            break;
        }
        return true;
    }

    void OnListItem(Scalar value)
    {
        if (!value.text)
            return;
        if (m_key == Key::DataAddress && !value.isNumber)
            m_header.dataAddresses.push_back(std::move(*value.text));
        else if (m_key == Key::LevelOrder || m_key == Key::Levels)
            LevelList().push_back(std::move(*value.text));
    }

    std::vector<std::string>& LevelList() { return m_key == Key::LevelOrder ? m_levelOrder : m_levels; }

    Key m_key = Key::Other;
    TableHeader m_header;
    std::optional<std::string> m_name;
    std::optional<std::string> m_symbol;
    std::vector<std::string> m_levelOrder;
    std::vector<std::string> m_levels;
    bool m_dataAddressInvalid = false;
};

enum EntryField : std::uint8_t {
    kLevel,
    kMd5,
    kSha256,
    kTitle,
    kArtist,
    kUrl,
    kUrlDiff,
    kNameDiff,
    kComment,
    kFieldCount
};
constexpr std::array<std::string_view, kFieldCount> kFieldNames = {"level", "md5",      "sha256",    "title",  "artist",
                                                                   "url",   "url_diff", "name_diff", "comment"};

bool IsHexDigit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A hash of `digits` hex digits in lower case, from a table's field: white
// space and control characters around it (a TAB or CR pasted along) are
// dropped, letters of either case taken; empty for anything else (a value
// of another length, "#N/A", an address).
std::string UsableHash(const std::optional<std::string>& field, std::size_t digits)
{
    if (!field)
        return std::string();
    std::string_view text = *field;
    while (!text.empty() && IsSpaceOrControl(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && IsSpaceOrControl(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    if (text.size() != digits || !std::all_of(text.begin(), text.end(), IsHexDigit))
        return std::string();
    std::string hash(text);
    for (char& c : hash)
        c = Lower(c);
    return hash;
}

// The entries: objects directly inside the list at the top, or inside the
// "charts" list of an object at the top.
class EntriesSax : public TableSax {
public:
    EntriesSax(std::size_t offset, std::vector<TableEntry>& entries) : TableSax(offset), m_entries(entries) {}

    TableResult<std::size_t> Result(bool parsed)
    {
        if (!parsed)
            return TableResult<std::size_t>::Failed(Error());
        if (m_listDepth == 0)
            return TableResult<std::size_t>::Failed(
                "no list of entries (a JSON list, or an object with a \"charts\" list)");
        return TableResult<std::size_t>::Ok(m_withoutHash);
    }

private:
    static constexpr std::size_t kListDone = SIZE_MAX;
    bool InList() const { return m_listDepth != 0 && m_listDepth != kListDone && Depth() == m_listDepth; }
    bool InEntry() const { return m_entryOpen && Depth() == m_listDepth + 1; }

    bool OnKey(std::string name) override
    {
        if (Depth() == 1 && m_listDepth == 0)
            m_chartsKey = name == "charts";
        if (InEntry()) {
            const auto found = std::find(kFieldNames.begin(), kFieldNames.end(), name);
            m_field = static_cast<std::size_t>(found - kFieldNames.begin());
        }
        return true;
    }

    bool OnContainerStart(bool object) override
    {
        if (m_listDepth == 0 && !object && (Depth() == 0 || (Depth() == 1 && InObject() && m_chartsKey)))
            m_listDepth = Depth() + 1;
        if (object && InList()) {
            m_entryOpen = true;
            m_fields.fill(std::nullopt);
            m_field = kFieldCount;
        }
        return true;
    }

    bool OnContainerEnd(bool object) override
    {
        if (object && m_entryOpen && Depth() == m_listDepth) {
            m_entryOpen = false;
            FinishEntry();
        }
        if (m_listDepth != kListDone && Depth() + 1 == m_listDepth && !object)
            m_listDepth = kListDone;
        return true;
    }

    bool OnScalar(Scalar value) override
    {
        if (Depth() == 0)
            return Fail("no list of entries: a single JSON value");
        if (InEntry() && m_field < kFieldCount)
            m_fields[m_field] = std::move(value.text);
        return true;
    }

    void FinishEntry()
    {
        auto& f = m_fields;
        auto take = [&](EntryField field) { return std::move(f[field]).value_or(std::string()); };
        TableEntry& entry = m_entries.emplace_back();
        entry.level = take(kLevel);
        entry.md5 = UsableHash(f[kMd5], 32);
        entry.sha256 = UsableHash(f[kSha256], 64);
        entry.title = take(kTitle);
        entry.artist = take(kArtist);
        entry.url = take(kUrl);
        entry.urlDiff = take(kUrlDiff);
        entry.nameDiff = take(kNameDiff);
        entry.comment = take(kComment);
        if (entry.Hash() == EntryHash::None)
            ++m_withoutHash;
    }

    std::vector<TableEntry>& m_entries;
    // Depth() inside the list of entries; 0 before it, kListDone after.
    std::size_t m_listDepth = 0;
    bool m_chartsKey = false;
    bool m_entryOpen = false;
    std::size_t m_field = kFieldCount;
    std::array<std::optional<std::string>, kFieldCount> m_fields;
    std::size_t m_withoutHash = 0;
};

template <typename Sax>
bool RunSax(TrimmedBytes input, Sax& sax)
{
    return Json::sax_parse(input.bytes.data(), input.bytes.data() + input.bytes.size(), &sax);
}

// The value of an attribute with HTML's character references for what an
// address may hold decoded.
std::string DecodeAttribute(std::string_view value)
{
    static constexpr std::array<std::pair<std::string_view, char>, 7> kReferences = {{
        {"&amp;", '&'},
        {"&quot;", '"'},
        {"&apos;", '\''},
        {"&#39;", '\''},
        {"&#x27;", '\''},
        {"&lt;", '<'},
        {"&gt;", '>'},
    }};
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const auto known = std::find_if(kReferences.begin(), kReferences.end(), [&](const auto& reference) {
            return EqualsIgnoringCase(value.substr(i, reference.first.size()), reference.first);
        });
        if (value[i] == '&' && known != kReferences.end()) {
            out += known->second;
            i += known->first.size() - 1;
        } else {
            out += value[i];
        }
    }
    const auto first = out.find_first_not_of(" \t\r\n\f");
    const auto last = out.find_last_not_of(" \t\r\n\f");
    return first == std::string::npos ? std::string() : out.substr(first, last - first + 1);
}

struct MetaAttributes {
    std::optional<std::string_view> name;
    std::optional<std::string_view> content;
};

// Reads the attributes of a tag from just after its name up to its ">";
// `at` is left after the tag.
MetaAttributes ReadAttributes(std::string_view html, std::size_t& at)
{
    MetaAttributes attributes;
    while (at < html.size()) {
        while (at < html.size() && (IsHtmlSpace(html[at]) || html[at] == '/'))
            ++at;
        if (at >= html.size() || html[at] == '>')
            break;
        const std::size_t nameStart = at;
        while (at < html.size() && !IsHtmlSpace(html[at]) && html[at] != '=' && html[at] != '>' && html[at] != '/')
            ++at;
        const std::string_view name = html.substr(nameStart, at - nameStart);
        while (at < html.size() && IsHtmlSpace(html[at]))
            ++at;
        std::string_view value;
        if (at < html.size() && html[at] == '=') {
            ++at;
            while (at < html.size() && IsHtmlSpace(html[at]))
                ++at;
            if (at < html.size() && (html[at] == '"' || html[at] == '\'')) {
                const char quote = html[at++];
                const auto end = std::min(html.find(quote, at), html.size());
                value = html.substr(at, end - at);
                at = std::min(end + 1, html.size());
            } else {
                const std::size_t valueStart = at;
                while (at < html.size() && !IsHtmlSpace(html[at]) && html[at] != '>')
                    ++at;
                value = html.substr(valueStart, at - valueStart);
            }
        }
        if (EqualsIgnoringCase(name, "name"))
            attributes.name = value;
        else if (EqualsIgnoringCase(name, "content"))
            attributes.content = value;
    }
    return attributes;
}

}  // namespace

TrimmedBytes TrimTableBytes(std::string_view bytes)
{
    std::size_t begin = 0;
    for (;;) {
        if (bytes.substr(begin, 3) == "\xEF\xBB\xBF")
            begin += 3;
        else if (begin < bytes.size() && IsSpaceOrControl(static_cast<unsigned char>(bytes[begin])))
            ++begin;
        else
            break;
    }
    std::size_t end = bytes.size();
    while (end > begin && IsSpaceOrControl(static_cast<unsigned char>(bytes[end - 1])))
        --end;
    return {bytes.substr(begin, end - begin), begin};
}

std::optional<std::string> FindHeaderAddress(std::string_view html)
{
    std::size_t at = 0;
    while ((at = html.find('<', at)) != std::string_view::npos) {
        if (html.substr(at, 4) == "<!--") {
            const auto end = html.find("-->", at + 4);
            if (end == std::string_view::npos)
                return std::nullopt;
            at = end + 3;
            continue;
        }
        ++at;
        const bool meta = EqualsIgnoringCase(html.substr(at, 4), "meta") && at + 4 < html.size() &&
                          (IsHtmlSpace(html[at + 4]) || html[at + 4] == '/');
        if (!meta)
            continue;
        at += 4;
        const MetaAttributes attributes = ReadAttributes(html, at);
        if (attributes.name && attributes.content && EqualsIgnoringCase(DecodeAttribute(*attributes.name), "bmstable"))
            return DecodeAttribute(*attributes.content);
    }
    return std::nullopt;
}

TableResult<TableHeader> ParseTableHeader(std::string_view bytes)
{
    const TrimmedBytes input = TrimTableBytes(bytes);
    HeaderSax sax(input.offset);
    const bool parsed = RunSax(input, sax);
    return sax.Result(parsed);
}

TableResult<std::size_t> ParseTableEntries(std::string_view bytes, std::vector<TableEntry>& entries)
{
    const TrimmedBytes input = TrimTableBytes(bytes);
    const std::size_t before = entries.size();
    EntriesSax sax(input.offset, entries);
    const bool parsed = RunSax(input, sax);
    auto result = sax.Result(parsed);
    if (!result)
        entries.resize(before);
    return result;
}

}  // namespace tamboro
