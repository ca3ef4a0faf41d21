#include "platform/TextDecoder.h"

#include "platform/TextPlausibility.h"

#include <unicode/ucnv.h>
#include <unicode/ucnv_cb.h>
#include <unicode/ucnv_err.h>
#include <unicode/utypes.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace tamboro {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsAscii(std::string_view bytes)
{
    // Eight bytes at a time; chart headers are mostly ASCII.
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word = 0;
        for (int k = 0; k < 8; ++k)
            word |= std::uint64_t{p[i + k]} << (8 * k);
        if (word & 0x8080808080808080ULL)
            return false;
    }
    for (; i < n; ++i)
        if (p[i] & 0x80)
            return false;
    return true;
}

bool HasUtf8Bom(std::string_view bytes)
{
    return bytes.size() >= 3 && static_cast<unsigned char>(bytes[0]) == 0xEF &&
           static_cast<unsigned char>(bytes[1]) == 0xBB && static_cast<unsigned char>(bytes[2]) == 0xBF;
}

// Length of the well-formed UTF-8 sequence starting at p[i] (Unicode table 3-7:
// no overlongs, no surrogates, nothing above U+10FFFF), or, when ill-formed,
// 0 with `*bad` set to the length of the maximal ill-formed subpart (at least 1)
// so that each such subpart becomes exactly one U+FFFD.
std::size_t Utf8SequenceLength(const unsigned char* p, std::size_t n, std::size_t i, std::size_t* bad)
{
    const unsigned char lead = p[i];
    if (lead < 0x80)
        return 1;
    std::size_t need;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3;
        if (lead == 0xE0)
            lo = 0xA0;
        if (lead == 0xED)
            hi = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        if (lead == 0xF0)
            lo = 0x90;
        if (lead == 0xF4)
            hi = 0x8F;
    } else {
        *bad = 1;
        return 0;
    }
    std::size_t k = 1;
    for (; k < need; ++k) {
        if (i + k >= n)
            break;
        const unsigned char c = p[i + k];
        const bool ok = (k == 1) ? (c >= lo && c <= hi) : (c >= 0x80 && c <= 0xBF);
        if (!ok)
            break;
    }
    if (k == need)
        return need;
    *bad = k;
    return 0;
}

bool IsValidUtf8(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (p[i] < 0x80) {
            ++i;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t len = Utf8SequenceLength(p, n, i, &bad);
        if (len == 0)
            return false;
        i += len;
    }
    return true;
}

void AppendUtf16(std::u16string& out, char32_t cp)
{
    if (cp < 0x10000) {
        out.push_back(static_cast<char16_t>(cp));
    } else {
        cp -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// Walks UTF-8 bytes, handing each code point (U+FFFD for every maximal
// ill-formed subpart) to `emit`.
template <typename Emit>
void WalkUtf8(std::string_view bytes, Emit emit)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char lead = p[i];
        if (lead < 0x80) {
            emit(char32_t{lead});
            ++i;
            continue;
        }
        std::size_t bad = 0;
        const std::size_t len = Utf8SequenceLength(p, n, i, &bad);
        if (len == 0) {
            emit(char32_t{kReplacement});
            i += bad;
            continue;
        }
        char32_t cp;
        if (len == 2) {
            cp = ((lead & 0x1Fu) << 6) | (p[i + 1] & 0x3Fu);
        } else if (len == 3) {
            cp = ((lead & 0x0Fu) << 12) | ((p[i + 1] & 0x3Fu) << 6) | (p[i + 2] & 0x3Fu);
        } else {
            cp = ((lead & 0x07u) << 18) | ((p[i + 1] & 0x3Fu) << 12) | ((p[i + 2] & 0x3Fu) << 6) | (p[i + 3] & 0x3Fu);
        }
        emit(cp);
        i += len;
    }
}

// Valid UTF-8 `bytes` hold a character of three or four bytes.
bool HasLongUtf8Sequence(std::string_view bytes)
{
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) >= 0xE0; });
}

std::string_view StripBom(std::string_view bytes)
{
    return HasUtf8Bom(bytes) ? bytes.substr(3) : bytes;
}

std::u16string Utf8ToUtf16(std::string_view bytes)
{
    bytes = StripBom(bytes);
    std::u16string out;
    out.reserve(bytes.size());
    WalkUtf8(bytes, [&out](char32_t cp) { AppendUtf16(out, cp); });
    return out;
}

std::string Utf8ToUtf8(std::string_view bytes)
{
    bytes = StripBom(bytes);
    if (IsValidUtf8(bytes))
        return std::string(bytes);
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    WalkUtf8(bytes, [&out](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

std::string Utf16ToUtf8(std::u16string_view s)
{
    std::string out;
    out.reserve(s.size() * 3);
    for (std::size_t i = 0; i < s.size(); ++i) {
        char32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;  // converters never emit lone surrogates; be safe anyway
        }
        AppendUtf8(out, c);
    }
    return out;
}

// ICU's stock substitution writes U+001A for a single bad byte in these
// code pages; we always want U+FFFD, one per bad byte sequence.
void SubstituteReplacementCharacter(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                                    UConverterCallbackReason reason, UErrorCode* err)
{
    if (reason > UCNV_IRREGULAR)
        return;  // reset/close/clone: nothing to write
    *err = U_ZERO_ERROR;
    const UChar replacement = kReplacement;
    ucnv_cbToUWriteUChars(args, &replacement, 1, 0, err);
}

// The converters of one thread. ICU converters are stateful and not safe to
// share, but opening one per call would cost more than decoding a title, so
// each thread opens its own once and keeps them until it ends.
class ThreadConverters {
public:
    ThreadConverters() : m_sjis(Open("windows-31j")), m_korean(Open("windows-949")) {}
    ~ThreadConverters()
    {
        for (UConverter* c : {m_sjis, m_korean})
            if (c)
                ucnv_close(c);
    }
    ThreadConverters(const ThreadConverters&) = delete;
    ThreadConverters& operator=(const ThreadConverters&) = delete;

    UConverter* For(Charset cs) const { return cs == Charset::Korean ? m_korean : m_sjis; }

private:
    static UConverter* Open(const char* name)
    {
        UErrorCode err = U_ZERO_ERROR;
        UConverter* cnv = ucnv_open(name, &err);
        if (U_FAILURE(err))
            return nullptr;
        ucnv_setToUCallBack(cnv, SubstituteReplacementCharacter, nullptr, nullptr, nullptr, &err);
        if (U_FAILURE(err)) {
            ucnv_close(cnv);
            return nullptr;
        }
        return cnv;
    }

    UConverter* m_sjis;
    UConverter* m_korean;
};

ThreadConverters& Converters()
{
    thread_local ThreadConverters converters;
    return converters;
}

// Runs `bytes` through `cnv` in chunks, handing each chunk of UTF-16 to
// `sink` (which returns false to stop early). Returns false when there is no
// converter or it reported an error. ucnv_toUnicode works on pointers, so
// inputs beyond 2 GiB are fine.
template <typename Sink>
bool Convert(UConverter* cnv, std::string_view bytes, Sink sink)
{
    if (!cnv)
        return false;
    ucnv_resetToUnicode(cnv);
    UChar buffer[1024];
    const char* source = bytes.data();
    const char* const sourceLimit = bytes.data() + bytes.size();
    for (;;) {
        UChar* target = buffer;
        UErrorCode err = U_ZERO_ERROR;
        ucnv_toUnicode(cnv, &target, buffer + std::size(buffer), &source, sourceLimit, nullptr, true, &err);
        const bool more = err == U_BUFFER_OVERFLOW_ERROR;
        if (U_FAILURE(err) && !more) {
            ucnv_resetToUnicode(cnv);
            return false;
        }
        if (target != buffer && !sink(std::u16string_view(reinterpret_cast<const char16_t*>(buffer),
                                                          static_cast<std::size_t>(target - buffer)))) {
            ucnv_resetToUnicode(cnv);
            return true;
        }
        if (!more)
            return true;
    }
}

std::u16string DecodeWithIcu(std::string_view bytes, Charset cs)
{
    std::u16string out;
    out.reserve(bytes.size());
    const bool ok = Convert(Converters().For(cs), bytes, [&out](std::u16string_view chunk) {
        out.append(chunk);
        return true;
    });
    if (!ok) {
        // Only when the converter could not be opened (no ICU data): still
        // show something instead of nothing.
        out.clear();
        for (unsigned char c : bytes)
            out.push_back(c < 0x80 ? char16_t{c} : kReplacement);
    }
    return out;
}

std::u16string AsciiToUtf16(std::string_view bytes)
{
    std::u16string out(bytes.size(), u'\0');
    for (std::size_t i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<unsigned char>(bytes[i]);
    return out;
}

template <typename Out, typename DecodeComponent>
Out DecodePath(std::string_view path, DecodeComponent decode)
{
    Out out;
    out.reserve(path.size());
    std::size_t start = 0;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view component =
            path.substr(start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (!component.empty())
            out += decode(component);
        if (slash == std::string_view::npos)
            break;
        out.push_back('/');
        start = slash + 1;
    }
    return out;
}

template <typename Fields>
Charset DetectCharsetOf(const Fields& fields)
{
    // Valid UTF-8 with a character of three or four bytes (kana, kanji,
    // Hangul, a byte-order mark) is UTF-8: legacy bytes seldom make one.
    bool allUtf8 = true;
    bool longUtf8 = false;
    for (std::string_view f : fields) {
        if (IsAscii(f))
            continue;
        if (!IsValidUtf8(f)) {
            allUtf8 = false;
            break;
        }
        longUtf8 = longUtf8 || HasLongUtf8Sequence(f);
    }
    if (allUtf8 && (longUtf8 || std::all_of(fields.begin(), fields.end(), IsAscii)))
        return Charset::Utf8;

    // Otherwise whichever reading of all the fields together is the more
    // plausible text: UTF-8 (only when valid), Shift-JIS or Korean. A tie
    // goes to UTF-8, then to Shift-JIS, which libraries mostly hold.
    int utf8 = 0;
    int japanese = 0;
    int korean = 0;
    for (std::string_view f : fields) {
        if (IsAscii(f))
            continue;  // the same text in every reading
        if (allUtf8)
            utf8 += Utf8Plausibility(f);
        japanese += ShiftJisPlausibility(f);
        korean += KoreanPlausibility(f);
    }
    const int legacy = std::max(japanese, korean);
    if (allUtf8 && utf8 >= legacy)
        return Charset::Utf8;
    return korean > japanese ? Charset::Korean : Charset::ShiftJis;
}

}  // namespace

Charset DetectCharset(std::initializer_list<std::string_view> fields)
{
    return DetectCharsetOf(fields);
}

Charset DetectCharset(std::span<const std::string> fields)
{
    return DetectCharsetOf(fields);
}

std::u16string DecodeToUtf16(std::string_view bytes, Charset charset)
{
    if (IsAscii(bytes))
        return AsciiToUtf16(bytes);
    if (charset == Charset::Utf8)
        return Utf8ToUtf16(bytes);
    return DecodeWithIcu(bytes, charset);
}

std::string DecodeToUtf8(std::string_view bytes, Charset charset)
{
    if (charset == Charset::Utf8 || IsAscii(bytes))
        return Utf8ToUtf8(bytes);
    return Utf16ToUtf8(DecodeWithIcu(bytes, charset));
}

std::u16string DecodeFieldToUtf16(std::string_view bytes)
{
    if (IsAscii(bytes))
        return AsciiToUtf16(bytes);
    return DecodeToUtf16(bytes, DetectCharset({bytes}));
}

std::string DecodeFieldToUtf8(std::string_view bytes)
{
    if (IsAscii(bytes))
        return std::string(bytes);
    return DecodeToUtf8(bytes, DetectCharset({bytes}));
}

std::u16string DecodePathToUtf16(std::string_view path)
{
    return DecodePath<std::u16string>(path, [](std::string_view c) { return DecodeFieldToUtf16(c); });
}

std::string DecodePathToUtf8(std::string_view path)
{
    return DecodePath<std::string>(path, [](std::string_view c) { return DecodeFieldToUtf8(c); });
}

}  // namespace tamboro
