#include "cli/ProgressLine.h"

#include <algorithm>
#include <cstdlib>
#include <sys/ioctl.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>
#include <vector>

namespace tamboro {
namespace {

// One character of the shown line: its bytes and its width in columns.
struct ShownChar {
    std::string bytes;
    int columns;
};

int ColumnsOf(UChar32 c)
{
    const auto category = static_cast<UCharCategory>(u_charType(c));
    if (category == U_NON_SPACING_MARK || category == U_ENCLOSING_MARK || category == U_FORMAT_CHAR)
        return 0;
    const auto syllable = static_cast<UHangulSyllableType>(u_getIntPropertyValue(c, UCHAR_HANGUL_SYLLABLE_TYPE));
    if (syllable == U_HST_VOWEL_JAMO || syllable == U_HST_TRAILING_JAMO)
        return 0;  // joins the leading consonant before it
    const auto width = static_cast<UEastAsianWidth>(u_getIntPropertyValue(c, UCHAR_EAST_ASIAN_WIDTH));
    return width == U_EA_WIDE || width == U_EA_FULLWIDTH ? 2 : 1;
}

std::vector<ShownChar> ShownChars(const std::string& text)
{
    std::vector<ShownChar> out;
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    const auto length = static_cast<int32_t>(text.size());
    int32_t i = 0;
    while (i < length) {
        const int32_t start = i;
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0 || u_charType(c) == U_CONTROL_CHAR)
            out.push_back({"?", 1});
        else
            out.push_back(
                {text.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(i - start)), ColumnsOf(c)});
    }
    return out;
}

}  // namespace

int TerminalColumns(int fd)
{
    winsize size{};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    if (const char* columns = std::getenv("COLUMNS")) {
        const int value = std::atoi(columns);
        if (value > 0)
            return value;
    }
    return 80;
}

std::string FitToColumns(const std::string& text, int columns)
{
    const std::vector<ShownChar> chars = ShownChars(text);
    int total = 0;
    for (const ShownChar& shown : chars)
        total += shown.columns;
    std::string out;
    if (total <= columns) {
        for (const ShownChar& shown : chars)
            out += shown.bytes;
        return out;
    }
    const std::string ellipsis = "...";
    const int room = columns - static_cast<int>(ellipsis.size());
    if (room <= 0)
        return std::string(static_cast<std::size_t>(std::max(columns, 0)), '.');
    // The longest end that fits, and whatever zero-width marks follow it.
    std::size_t first = chars.size();
    int used = 0;
    while (first > 0 && used + chars[first - 1].columns <= room)
        used += chars[--first].columns;
    while (first < chars.size() && chars[first].columns == 0)
        ++first;  // a mark without its base character
    out = ellipsis;
    for (std::size_t i = first; i < chars.size(); ++i)
        out += chars[i].bytes;
    return out;
}

}  // namespace tamboro
