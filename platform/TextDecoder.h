// Decoding of the raw bytes found in charts and file names, for showing and
// comparing them. The scan keeps bytes exactly as found; only display and
// sorting decode, one charset decision per chart (or per path component).
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace tamboro {

enum class Charset {
    Utf8,      // valid UTF-8 (pure ASCII included); a leading BOM is dropped
    Korean,    // windows-949 (EUC-KR / Unified Hangul Code)
    ShiftJis,  // windows-31j, U+FFFD for bytes that do not decode
};

// Decides one charset for a group of byte strings read from the same chart
// (all its header values together): Utf8 when all are valid UTF-8;
// otherwise Korean when the fields read as Korean are the more plausible
// text than read as Shift-JIS (see TextPlausibility.h), else ShiftJis.
Charset DetectCharset(std::initializer_list<std::string_view> fields);
Charset DetectCharset(std::span<const std::string> fields);

// Decodes bytes in the given charset. Never fails: undecodable bytes become
// U+FFFD. A leading UTF-8 byte-order mark is dropped for Utf8.
std::u16string DecodeToUtf16(std::string_view bytes, Charset charset);
std::string DecodeToUtf8(std::string_view bytes, Charset charset);

// Decides and decodes one field on its own.
std::u16string DecodeFieldToUtf16(std::string_view bytes);
std::string DecodeFieldToUtf8(std::string_view bytes);

// A folder path decoded one '/'-separated component at a time, each with its
// own charset decision (names unpacked from different archives differ).
std::u16string DecodePathToUtf16(std::string_view path);
std::string DecodePathToUtf8(std::string_view path);

}  // namespace tamboro
