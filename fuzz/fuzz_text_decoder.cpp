// Fuzz target for the decoding of chart bytes and folder names for display.
//
// The input is split at its first two LF bytes into genre, title and artist
// (header values never hold a LF, as LF ends a line); the whole input is
// also taken as one field and as a folder path. Checked for every input:
//  - nothing crashes, every result is well-formed UTF-8 / UTF-16;
//  - the UTF-8 and the UTF-16 result of the same decoding say the same;
//  - the charset decision is one of the three; it is UTF-8 only when every
//    field is valid UTF-8, and always then when some field holds a character
//    of three or four bytes or all are ASCII (valid UTF-8 of two-byte
//    characters only is weighed against the legacy readings);
//  - such UTF-8 decodes back to itself, less a leading byte-order mark;
//    ASCII decodes to itself in every charset;
//  - a decoded path keeps every "/" of the raw path and no other.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "platform/TextDecoder.h"

namespace {

using tamboro::Charset;

[[noreturn]] void Fail(const char* what, std::string_view input)
{
    std::fprintf(stderr, "text decoder: %s\n  input (%zu bytes):", what, input.size());
    for (std::size_t i = 0; i < input.size() && i < 64; ++i)
        std::fprintf(stderr, " %02X", static_cast<unsigned char>(input[i]));
    std::fputs(input.size() > 64 ? " ...\n" : "\n", stderr);
    std::abort();
}

// Holds a lead byte of a three- or four-byte UTF-8 sequence; with
// well-formed UTF-8, a character beyond U+07FF.
bool IsPlainlyUtf8(std::string_view s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0xE0)
            return true;
    return false;
}

// Strict UTF-8 (no overlongs, surrogates or code points past U+10FFFF),
// written out independently of the decoder's own checks.
bool IsWellFormedUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b0 = static_cast<unsigned char>(s[i]);
        std::size_t n;
        uint32_t cp;
        if (b0 < 0x80) {
            ++i;
            continue;
        } else if ((b0 & 0xE0) == 0xC0) {
            n = 2;
            cp = b0 & 0x1Fu;
        } else if ((b0 & 0xF0) == 0xE0) {
            n = 3;
            cp = b0 & 0x0Fu;
        } else if ((b0 & 0xF8) == 0xF0) {
            n = 4;
            cp = b0 & 0x07u;
        } else {
            return false;
        }
        if (i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto b = static_cast<unsigned char>(s[i + k]);
            if ((b & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (b & 0x3Fu);
        }
        const uint32_t minimum = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += n;
    }
    return true;
}

bool IsWellFormedUtf16(std::u16string_view s)
{
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char16_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF)
                return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    return true;
}

// UTF-16 (already checked well-formed) to UTF-8.
std::string ToUtf8(std::u16string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        uint32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00u);
            ++i;
        }
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

bool IsAscii(std::string_view s)
{
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

std::string_view WithoutBom(std::string_view s)
{
    return s.substr(0, 3) == "\xEF\xBB\xBF" ? s.substr(3) : s;
}

// One pair of results (UTF-16 and UTF-8) of decoding the same bytes.
void CheckPair(const std::u16string& utf16, const std::string& utf8, std::string_view input, const char* what)
{
    if (!IsWellFormedUtf16(utf16))
        Fail((std::string(what) + ": UTF-16 result is not well-formed").c_str(), input);
    if (!IsWellFormedUtf8(utf8))
        Fail((std::string(what) + ": UTF-8 result is not well-formed").c_str(), input);
    if (ToUtf8(utf16) != utf8)
        Fail((std::string(what) + ": UTF-8 and UTF-16 results differ").c_str(), input);
}

void CheckField(std::string_view field)
{
    for (const Charset cs : {Charset::Utf8, Charset::Korean, Charset::ShiftJis}) {
        const std::u16string utf16 = tamboro::DecodeToUtf16(field, cs);
        const std::string utf8 = tamboro::DecodeToUtf8(field, cs);
        CheckPair(utf16, utf8, field, "DecodeTo");
        if (IsAscii(field) && utf8 != field)
            Fail("ASCII does not decode to itself", field);
        if (cs == Charset::Utf8 && IsWellFormedUtf8(field) && utf8 != WithoutBom(field))
            Fail("valid UTF-8 does not decode to itself", field);
    }
    const std::u16string utf16 = tamboro::DecodeFieldToUtf16(field);
    const std::string utf8 = tamboro::DecodeFieldToUtf8(field);
    CheckPair(utf16, utf8, field, "DecodeField");
    const Charset own = tamboro::DetectCharset({field});
    if (utf8 != tamboro::DecodeToUtf8(field, own))
        Fail("DecodeFieldToUtf8 differs from decoding in the detected charset", field);
    if (IsWellFormedUtf8(field) && (IsAscii(field) || IsPlainlyUtf8(field)) && utf8 != WithoutBom(field))
        Fail("UTF-8 field with a character of three or four bytes does not decode to itself", field);
}

void CheckPath(std::string_view path)
{
    const std::string utf8 = tamboro::DecodePathToUtf8(path);
    const std::u16string utf16 = tamboro::DecodePathToUtf16(path);
    CheckPair(utf16, utf8, path, "DecodePath");
    std::size_t rawSlashes = 0;
    bool componentsAreUtf8 = true;
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view component = path.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (!IsWellFormedUtf8(component) || WithoutBom(component).size() != component.size() ||
            !(IsAscii(component) || IsPlainlyUtf8(component)))
            componentsAreUtf8 = false;
        if (slash == std::string_view::npos)
            break;
        ++rawSlashes;
        start = slash + 1;
    }
    std::size_t decodedSlashes = 0;
    for (const char c : utf8)
        decodedSlashes += c == '/';
    if (decodedSlashes != rawSlashes)
        Fail("decoding a path changed its separators", path);
    if (componentsAreUtf8 && utf8 != path)
        Fail("a path of valid UTF-8 names does not decode to itself", path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    std::vector<std::string_view> fields;
    std::size_t start = 0;
    while (fields.size() < 2) {
        const std::size_t lf = input.find('\n', start);
        if (lf == std::string_view::npos)
            break;
        fields.push_back(input.substr(start, lf - start));
        start = lf + 1;
    }
    fields.push_back(input.substr(start));
    while (fields.size() < 3)
        fields.emplace_back();

    const Charset chart = tamboro::DetectCharset({fields[0], fields[1], fields[2]});
    if (chart != Charset::Utf8 && chart != Charset::Korean && chart != Charset::ShiftJis)
        Fail("charset decision out of range", input);
    const bool allUtf8 = IsWellFormedUtf8(fields[0]) && IsWellFormedUtf8(fields[1]) && IsWellFormedUtf8(fields[2]);
    const bool plainlyUtf8 =
        allUtf8 && (IsPlainlyUtf8(fields[0]) || IsPlainlyUtf8(fields[1]) || IsPlainlyUtf8(fields[2]) || IsAscii(input));
    if (!allUtf8 && chart == Charset::Utf8)
        Fail("invalid UTF-8 fields taken as UTF-8", input);
    if (plainlyUtf8 && chart != Charset::Utf8)
        Fail("UTF-8 fields with a character of three or four bytes not taken as UTF-8", input);
    for (const std::string_view field : fields) {
        const std::u16string utf16 = tamboro::DecodeToUtf16(field, chart);
        const std::string utf8 = tamboro::DecodeToUtf8(field, chart);
        CheckPair(utf16, utf8, field, "chart field");
        CheckField(field);
    }
    CheckField(input);
    CheckPath(input);
    return 0;
}
