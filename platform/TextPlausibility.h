// How plausible a byte string is as text in one of the code pages charts
// are written in. Short titles defeat general charset detectors, and
// the two code pages overlap: Shift-JIS half-width katakana pair up into
// Korean syllables, Korean syllables beyond EUC-KR read as kanji or kana.
// Each reading is scored by the kinds of characters it yields and how they
// sit together; the text is in the code page whose reading scores higher.
#pragma once

#include <string_view>

namespace tamboro {

// The score of `bytes` read as Shift-JIS (windows-31j): kana and kanji of
// JIS level 1 score high, level-2 kanji and vendor extensions low, bytes
// that are no character far below zero. Half-width katakana score as kana
// when they run together as katakana words do.
int ShiftJisPlausibility(std::string_view bytes);

// The score of `bytes` read as Korean (windows-949): syllables of
// KS X 1001 (the common ones most), then CP949's extension syllables and
// hanja, which Korean text seldom uses; bytes that are no character far
// below zero.
int KoreanPlausibility(std::string_view bytes);

// The score of valid UTF-8 `bytes` made of ASCII and two-byte characters
// only, the one kind of UTF-8 that Shift-JIS and Korean bytes also make
// ("짱" is C2 AF, "¯" in UTF-8): Latin, Greek and Cyrillic letters within
// words and the common signs (·, °, ©, ×) score high, signs hardly used in
// text (¯, ¸, ¤) low, C1 control characters far below zero.
int Utf8Plausibility(std::string_view bytes);

}  // namespace tamboro
