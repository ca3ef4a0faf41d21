// The header tags read from every chart, and the table of their values.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tamboro {

// A header tag as it starts a header line: '#', the name in capitals (a line
// may write it in any case) and exactly one space.
struct TagSpec {
    std::string_view text;
};

// Every tag the header reader reads. One line adds a tag: the reader, its
// line finders and the table of values all follow from this list.
inline constexpr std::array kHeaderTags{
    TagSpec{"#GENRE "},
    TagSpec{"#TITLE "},
    TagSpec{"#ARTIST "},
    TagSpec{"#SUBTITLE "},
    TagSpec{"#SUBARTIST "},
    TagSpec{"#PLAYLEVEL "},
    TagSpec{"#DIFFICULTY "},
    TagSpec{"#BPM "},
    TagSpec{"#TOTAL "},
    TagSpec{"#PLAYER "},
    TagSpec{"#RANK "},
};

// Names one tag by its place in kHeaderTags.
enum class TagId : uint8_t {};

constexpr bool IsAsciiLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// A tag as the reader's rules need it: written in capitals; its first letter
// tells a header line from a data line ("#00111:..."); and since it ends in
// its only space, no tag is the start of another.
constexpr bool IsWellFormedTag(std::string_view text)
{
    const bool capitals = std::none_of(text.begin(), text.end(), [](char c) { return c >= 'a' && c <= 'z'; });
    return text.size() >= 3 && text.front() == '#' && IsAsciiLetter(text[1]) && capitals && text.back() == ' ' &&
           text.find(' ') == text.size() - 1;
}

template <std::size_t N>
constexpr bool AreWellFormedTags(const std::array<TagSpec, N>& tags)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (!IsWellFormedTag(tags[i].text))
            return false;
        for (std::size_t k = 0; k < i; ++k) {
            if (tags[k].text == tags[i].text)
                return false;
        }
    }
    return true;
}
static_assert(AreWellFormedTags(kHeaderTags), "a header tag is '#', a capital letter, more bytes and one space, once");
static_assert(kHeaderTags.size() <= 255, "TagId counts tags in a byte");

// The tag whose text is `text`, found while compiling: a tag that is not in
// kHeaderTags does not compile.
consteval TagId TagOf(std::string_view text)
{
    for (std::size_t i = 0; i < kHeaderTags.size(); ++i) {
        if (kHeaderTags[i].text == text)
            return static_cast<TagId>(i);
    }
    throw "not a header tag";
}

template <std::size_t N>
constexpr std::size_t LongestTagLength(const std::array<TagSpec, N>& tags)
{
    std::size_t longest = 0;
    for (const TagSpec& tag : tags)
        longest = std::max(longest, tag.text.size());
    return longest;
}

inline constexpr std::size_t kLongestTagLength = LongestTagLength(kHeaderTags);

// The values found for the tags of kHeaderTags in one chart.
class TagTable {
public:
    static constexpr std::size_t kSize = kHeaderTags.size();

    const std::string& Value(TagId tag) const { return m_values[static_cast<std::size_t>(tag)]; }
    std::string& Value(TagId tag) { return m_values[static_cast<std::size_t>(tag)]; }
    // Every value, in the order of kHeaderTags.
    const std::array<std::string, kSize>& Values() const { return m_values; }

    // The bytes of all values together.
    std::size_t ValueBytes() const
    {
        std::size_t bytes = 0;
        for (const std::string& value : m_values)
            bytes += value.size();
        return bytes;
    }

    void Clear()
    {
        for (std::string& value : m_values)
            value.clear();
    }

private:
    std::array<std::string, kSize> m_values;
};

}  // namespace tamboro
