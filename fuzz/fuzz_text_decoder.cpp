// Fuzz target for the decoding of chart bytes and folder names for display.
//
// The input is split at its first two LF bytes into genre, title and artist
// (header values never hold a LF, as LF ends a line), whose charset
// decision every input checks. The whole input then goes through one of
// three forms, picked by its hash (a replay of the corpus sends it, and
// each field, through all three), each decoding made once and checked
// against the others and against plain readings written out below. The
// checks, and the faults they are there to catch:
//  - the chart's decision over the three fields is one of the three
//    charsets (a value out of range); it is UTF-8 only when every field is
//    valid UTF-8 (legacy bytes shown as U+FFFD), and always then when some
//    field holds a character of three or four bytes or all are ASCII (a
//    kana title in UTF-8 weighed against the legacy readings and shown as
//    mojibake; valid UTF-8 of two-byte characters only is weighed);
//  - every decoding, as UTF-16 and as UTF-8, gives well-formed text (lone
//    surrogates, overlongs, a sequence cut short) and the same text both
//    ways (the two forms drifting apart: a BOM dropped in one only, U+FFFD
//    counted differently, a lost chunk);
//  - form 1, the input in each of the three charsets: ASCII decodes to
//    itself in every charset (a converter turning "\" into a yen sign),
//    valid UTF-8 decodes to itself as UTF-8, less a leading byte-order mark;
//  - form 2, the input as a field on its own: both ways, exactly the
//    reading in the charset DetectCharset decides for it alone (a shortcut
//    of the one-field decoding taking another decision), and UTF-8 with a
//    character of three or four bytes (or ASCII) decodes to itself;
//  - form 3, the input as a folder path: every "/" of the raw path kept and
//    no other made (a separator swallowed by a legacy lead byte before it),
//    and a path of plainly UTF-8 names decodes to itself.
// A field is also the whole input of another run (one without a LF), so
// the fields go through the forms only in a replay.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/TextDecoder.h"

namespace {

using tamboro::Charset;

constexpr std::array kCharsets = {Charset::Utf8, Charset::Korean, Charset::ShiftJis};

[[noreturn]] void Fail(const char* what, const char* detail, std::string_view input)
{
    std::fprintf(stderr, "text decoder: %s%s\n  input (%zu bytes):", what, detail, input.size());
    for (std::size_t i = 0; i < input.size() && i < 64; ++i)
        std::fprintf(stderr, " %02X", static_cast<unsigned char>(input[i]));
    std::fputs(input.size() > 64 ? " ...\n" : "\n", stderr);
    std::abort();
}

constexpr uint32_t kIllFormed = 0xFFFFFFFF;
constexpr uint32_t kEnded = 0xFFFFFFFE;

// The code point of strict UTF-8 (no overlongs, surrogates or code points
// past U+10FFFF) at s[i], moving i past it; kIllFormed when there is none.
// Written out independently of the decoder's own checks.
uint32_t NextUtf8(std::string_view s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t n;
    uint32_t cp;
    if (b0 < 0x80) {
        ++i;
        return b0;
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
        return kIllFormed;
    }
    if (i + n > s.size())
        return kIllFormed;
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return kIllFormed;
        cp = (cp << 6) | (b & 0x3Fu);
    }
    const uint32_t minimum = n == 2 ? 0x80 : n == 3 ? 0x800 : 0x10000;
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return kIllFormed;
    i += n;
    return cp;
}

// The code point of UTF-16 at s[i] (a surrogate pair, or one unit that is
// no surrogate), moving i past it; kIllFormed when there is none.
uint32_t NextUtf16(std::u16string_view s, std::size_t& i)
{
    const uint32_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
        if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF)
            return kIllFormed;
        i += 2;
        return 0x10000 + ((c - 0xD800) << 10) + (s[i - 1] - 0xDC00u);
    }
    if (c >= 0xDC00 && c <= 0xDFFF)
        return kIllFormed;
    ++i;
    return c;
}

bool IsWellFormedUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();)
        if (NextUtf8(s, i) == kIllFormed)
            return false;
    return true;
}

// Well-formed UTF-16 and UTF-8 holding the same code points: nullptr, or
// what is wrong with them.
const char* PairFault(std::u16string_view utf16, std::string_view utf8)
{
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < utf16.size() || j < utf8.size()) {
        // ASCII, most of the text, a unit at a time.
        if (i < utf16.size() && j < utf8.size() && utf16[i] < 0x80 && static_cast<unsigned char>(utf8[j]) < 0x80) {
            if (utf16[i++] != static_cast<unsigned char>(utf8[j++]))
                return ": UTF-8 and UTF-16 results differ";
            continue;
        }
        const uint32_t a = i < utf16.size() ? NextUtf16(utf16, i) : kEnded;
        const uint32_t b = j < utf8.size() ? NextUtf8(utf8, j) : kEnded;
        if (a == kIllFormed)
            return ": UTF-16 result is not well-formed";
        if (b == kIllFormed)
            return ": UTF-8 result is not well-formed";
        if (a != b)
            return ": UTF-8 and UTF-16 results differ";
    }
    return nullptr;
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
void CheckPair(std::u16string_view utf16, std::string_view utf8, std::string_view input, const char* what)
{
    if (const char* fault = PairFault(utf16, utf8))
        Fail(what, fault, input);
}

struct Reading {
    std::u16string utf16;
    std::string utf8;
};

// The bytes read in one charset, both ways, checked.
Reading ReadIn(std::string_view bytes, Charset cs, const char* what)
{
    Reading reading{tamboro::DecodeToUtf16(bytes, cs), tamboro::DecodeToUtf8(bytes, cs)};
    CheckPair(reading.utf16, reading.utf8, bytes, what);
    if (IsAscii(bytes) && reading.utf8 != bytes)
        Fail(what, ": ASCII does not decode to itself", bytes);
    if (cs == Charset::Utf8 && IsWellFormedUtf8(bytes) && reading.utf8 != WithoutBom(bytes))
        Fail(what, ": valid UTF-8 does not decode to itself", bytes);
    return reading;
}

// Form 1: the bytes in each of the three charsets.
void CheckEveryCharset(std::string_view bytes)
{
    for (const Charset cs : kCharsets)
        ReadIn(bytes, cs, "DecodeTo");
}

// Form 2: the bytes as one field on its own.
void CheckField(std::string_view bytes)
{
    const Reading own = ReadIn(bytes, tamboro::DetectCharset({bytes}), "DecodeTo");
    if (tamboro::DecodeFieldToUtf16(bytes) != own.utf16)
        Fail("DecodeFieldToUtf16 differs from decoding in the detected charset", "", bytes);
    if (tamboro::DecodeFieldToUtf8(bytes) != own.utf8)
        Fail("DecodeFieldToUtf8 differs from decoding in the detected charset", "", bytes);
    if (IsWellFormedUtf8(bytes) && (IsAscii(bytes) || IsPlainlyUtf8(bytes)) && own.utf8 != WithoutBom(bytes))
        Fail("UTF-8 field with a character of three or four bytes does not decode to itself", "", bytes);
}

// Form 3: the bytes as a folder path.
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
        Fail("decoding a path changed its separators", "", path);
    if (componentsAreUtf8 && utf8 != path)
        Fail("a path of valid UTF-8 names does not decode to itself", "", path);
}

#ifdef TAMBORO_FUZZ_REPLAY
constexpr bool kEveryForm = true;
#else
constexpr bool kEveryForm = false;
#endif

// The charset decision over the fields of a chart.
void CheckChart(std::string_view input, const std::array<std::string_view, 3>& fields)
{
    const Charset chart = tamboro::DetectCharset({fields[0], fields[1], fields[2]});
    if (chart != Charset::Utf8 && chart != Charset::Korean && chart != Charset::ShiftJis)
        Fail("charset decision out of range", "", input);
    bool allUtf8 = true;
    bool plainlyUtf8 = IsAscii(input);
    for (const std::string_view field : fields) {
        allUtf8 = allUtf8 && IsWellFormedUtf8(field);
        plainlyUtf8 = plainlyUtf8 || IsPlainlyUtf8(field);
    }
    if (!allUtf8 && chart == Charset::Utf8)
        Fail("invalid UTF-8 fields taken as UTF-8", "", input);
    if (allUtf8 && plainlyUtf8 && chart != Charset::Utf8)
        Fail("UTF-8 fields with a character of three or four bytes not taken as UTF-8", "", input);
    if (kEveryForm) {
        for (const std::string_view field : fields) {
            ReadIn(field, chart, "chart field");
            CheckEveryCharset(field);
            CheckField(field);
            CheckPath(field);
        }
    }
}

uint64_t Fnv1a(std::string_view bytes)
{
    uint64_t h = 1469598103934665603ull;
    for (const char c : bytes) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Fields missing for want of a LF stay empty.
    std::array<std::string_view, 3> fields;
    std::size_t count = 0;
    std::size_t start = 0;
    while (count + 1 < fields.size()) {
        const std::size_t lf = input.find('\n', start);
        if (lf == std::string_view::npos)
            break;
        fields[count++] = input.substr(start, lf - start);
        start = lf + 1;
    }
    fields[count] = input.substr(start);
    CheckChart(input, fields);

    // One form per input (all of them in a replay).
    const uint64_t pick = Fnv1a(input) % 3;
    if (kEveryForm || pick == 0)
        CheckEveryCharset(input);
    if (kEveryForm || pick == 1)
        CheckField(input);
    if (kEveryForm || pick == 2)
        CheckPath(input);
    return 0;
}
