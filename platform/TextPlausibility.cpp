#include "platform/TextPlausibility.h"

#include <unicode/ucnv.h>
#include <unicode/utypes.h>

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>

namespace tamboro {
namespace {

// Scores are in tenths. A two-byte character is weighed against the two
// one-byte characters (or the other pairing) the other code page reads from
// the same bytes, so a score is roughly "how likely, per byte".
constexpr int kAsciiScore = 10;
constexpr int kInvalidScore = -80;  // a byte that is no character at all

// --- Shift-JIS ---------------------------------------------------------------

enum class Japanese : std::uint8_t {
    Ascii,
    HalfKana,   // A6-DF: half-width katakana, prolonged sound mark, (semi-)voiced marks
    HalfPunct,  // A1-A5: ｡｢｣､･
    Kana,       // full-width hiragana and katakana, ー and the kana iteration marks
    Symbol,     // row 1: punctuation, brackets, ☆♪※ and the like
    FullAlnum,  // full-width digits and Latin letters
    Kanji1,     // JIS level 1: the common kanji
    Kanji2,     // JIS level 2
    Other,      // Greek, Cyrillic, NEC row 13 (①, Ⅳ, ㍻)
    Rare,       // box drawing, NEC-selected and IBM extension kanji
    Invalid,
};

constexpr int Score(Japanese kind)
{
    switch (kind) {
    case Japanese::Ascii:
        return kAsciiScore;
    case Japanese::HalfKana:
        return 16;
    case Japanese::HalfPunct:
        return 12;
    case Japanese::Kana:
        return 40;
    case Japanese::Symbol:
        return 25;
    case Japanese::FullAlnum:
        return 30;
    case Japanese::Kanji1:
        return 35;
    case Japanese::Kanji2:
        return 15;
    case Japanese::Other:
        return 10;
    case Japanese::Rare:
        return 0;
    case Japanese::Invalid:
        break;
    }
    return kInvalidScore;
}

bool InRange(unsigned code, unsigned first, unsigned last)
{
    return code >= first && code <= last;
}

// The kind of the two-byte Shift-JIS character `code` (lead << 8 | trail,
// the trail byte already known to be one).
Japanese ShiftJisDoubleKind(unsigned code)
{
    const unsigned lead = code >> 8;
    if (lead == 0x81) {
        if (InRange(code, 0x8152, 0x815B))  // ヽヾゝゞ〃仝々〆〇ー
            return Japanese::Kana;
        const bool assigned = InRange(code, 0x8140, 0x81AC) || InRange(code, 0x81B8, 0x81BF) ||
                              InRange(code, 0x81C8, 0x81CE) || InRange(code, 0x81DA, 0x81E8) ||
                              InRange(code, 0x81F0, 0x81F7) || code == 0x81FC;
        return assigned ? Japanese::Symbol : Japanese::Invalid;
    }
    if (lead == 0x82) {
        if (InRange(code, 0x824F, 0x8258) || InRange(code, 0x8260, 0x8279) || InRange(code, 0x8281, 0x829A))
            return Japanese::FullAlnum;
        return InRange(code, 0x829F, 0x82F1) ? Japanese::Kana : Japanese::Invalid;
    }
    if (lead == 0x83) {
        if (InRange(code, 0x8340, 0x8396))
            return Japanese::Kana;
        return InRange(code, 0x839F, 0x83B6) || InRange(code, 0x83BF, 0x83D6) ? Japanese::Other : Japanese::Invalid;
    }
    if (lead == 0x84) {
        if (InRange(code, 0x8440, 0x8460) || InRange(code, 0x8470, 0x8491))
            return Japanese::Other;
        return InRange(code, 0x849F, 0x84BE) ? Japanese::Rare : Japanese::Invalid;
    }
    if (lead == 0x87) {
        const bool assigned =
            InRange(code, 0x8740, 0x875D) || InRange(code, 0x875F, 0x8775) || InRange(code, 0x877E, 0x879C);
        return assigned ? Japanese::Other : Japanese::Invalid;
    }
    if (InRange(code, 0x889F, 0x9872))
        return Japanese::Kanji1;
    if (lead == 0x98)
        return code >= 0x989F ? Japanese::Kanji2 : Japanese::Invalid;
    if (InRange(lead, 0x99, 0x9F) || InRange(lead, 0xE0, 0xE9) || InRange(code, 0xEA40, 0xEAA4))
        return Japanese::Kanji2;
    if (InRange(code, 0xED40, 0xEEEC) || InRange(code, 0xEEEF, 0xEEFC) || InRange(code, 0xFA40, 0xFC4B))
        return Japanese::Rare;
    return Japanese::Invalid;  // rows 85-86, EA A5+, EB-EC, user-defined EF-F9
}

bool IsShiftJisLead(unsigned char b)
{
    return InRange(b, 0x81, 0x9F) || InRange(b, 0xE0, 0xFC);
}

bool IsShiftJisTrail(unsigned char b)
{
    return InRange(b, 0x40, 0x7E) || InRange(b, 0x80, 0xFC);
}

bool IsAsciiLetter(unsigned char b)
{
    return InRange(b | 0x20, 'a', 'z');
}

bool IsHalfWidthKanaByte(unsigned char b)
{
    return InRange(b, 0xA6, 0xDF);
}

// Half-width forms (Shift-JIS single bytes A6-DF).
constexpr unsigned char kHalfWo = 0xA6;            // ｦ
constexpr unsigned char kHalfSmallFirst = 0xA7;    // ｧ
constexpr unsigned char kHalfSmallYaFirst = 0xAC;  // ｬ
constexpr unsigned char kHalfSmallTsu = 0xAF;      // ｯ
constexpr unsigned char kHalfProlonged = 0xB0;     // ｰ
constexpr unsigned char kHalfN = 0xDD;             // ﾝ
constexpr unsigned char kHalfVoiced = 0xDE;        // ﾞ
constexpr unsigned char kHalfSemiVoiced = 0xDF;    // ﾟ
constexpr std::string_view kTakesVoicedMark = "\xB3\xB6\xB7\xB8\xB9\xBA\xBB\xBC\xBD\xBE\xBF\xC0\xC1\xC2\xC3\xC4"
                                              "\xCA\xCB\xCC\xCD\xCE";  // ｳ ｶ-ｺ ｻ-ｿ ﾀ-ﾄ ﾊ-ﾎ
constexpr std::string_view kTakesSmallVowel = "\xB2\xB3\xB7\xB8\xBC\xBD\xC1\xC2\xC3\xC4\xC6\xCB\xCC\xD0\xD8\xDE\xDF";
constexpr std::string_view kTakesSmallYa = "\xB2\xB7\xBC\xC1\xC3\xC6\xCB\xCC\xD0\xD8\xDE\xDF";  // i-row, ﾃ ﾌ, marks

// How half-width katakana `b` fits after `prev`, the half-width katakana
// before it in the same run (0 at the start of a run): words written in
// katakana follow the rules of kana spelling, the katakana that Korean
// syllables fall apart into do not.
int HalfKanaFit(unsigned char b, unsigned char prev)
{
    constexpr int kBroken = -20;  // a mark or small kana with nothing it can belong to
    constexpr int kOdd = -12;     // spelled as Japanese seldom is
    constexpr int kTypical = 6;   // a mark on a kana that takes it
    const bool atStart = prev == 0;
    const bool prevIsSmall = InRange(prev, kHalfSmallFirst, kHalfSmallTsu);
    const bool prevIsPlain = !atStart && !prevIsSmall && prev != kHalfProlonged && prev != kHalfN && prev != kHalfWo &&
                             prev != kHalfVoiced && prev != kHalfSemiVoiced;
    const auto after = [prev](std::string_view set) { return set.find(static_cast<char>(prev)) != set.npos; };
    if (b == kHalfVoiced)
        return after(kTakesVoicedMark) ? kTypical : kBroken;
    if (b == kHalfSemiVoiced)
        return InRange(prev, 0xCA, 0xCE) ? kTypical : kBroken;  // ﾊ-ﾎ
    if (b == kHalfProlonged)
        return atStart || prev == kHalfProlonged ? kBroken : kTypical;
    if (b == kHalfSmallTsu)
        return prevIsPlain || prev == kHalfVoiced || prev == kHalfSemiVoiced ? 0 : kBroken;
    if (InRange(b, kHalfSmallFirst, kHalfSmallTsu - 1)) {
        if (atStart || !(prevIsPlain || prev == kHalfVoiced || prev == kHalfSemiVoiced))
            return kBroken;
        return after(b >= kHalfSmallYaFirst ? kTakesSmallYa : kTakesSmallVowel) ? 0 : kOdd;
    }
    if (b == kHalfN && atStart)
        return kOdd;
    return 0;
}

// The kind and length of the character at p[i] in Shift-JIS.
Japanese ReadShiftJis(const unsigned char* p, std::size_t n, std::size_t i, std::size_t* length)
{
    const unsigned char b = p[i];
    *length = 1;
    if (b < 0x80)
        return Japanese::Ascii;
    if (InRange(b, 0xA1, 0xA5))
        return Japanese::HalfPunct;
    if (IsHalfWidthKanaByte(b))
        return Japanese::HalfKana;
    if (!IsShiftJisLead(b) || i + 1 >= n || !IsShiftJisTrail(p[i + 1]))
        return Japanese::Invalid;
    *length = 2;
    return ShiftJisDoubleKind(unsigned{b} << 8 | p[i + 1]);
}

// A single lower-case Latin letter glued to half-width katakana ("ﾁdﾁd"):
// what Korean syllables with a letter as trail byte look like when read as
// Shift-JIS. (A lone capital is Japanese usage: "ｶｼﾞﾋﾛP", "ｴｰｽA".)
bool IsLoneLetterBesideHalfKana(const unsigned char* p, std::size_t n, std::size_t i, bool prevIsHalfKana,
                                bool prevIsLetter)
{
    if (!InRange(p[i], 'a', 'z') || prevIsLetter)
        return false;
    const bool nextIsLetter = i + 1 < n && IsAsciiLetter(p[i + 1]);
    const bool nextIsHalfKana = i + 1 < n && IsHalfWidthKanaByte(p[i + 1]);
    return !nextIsLetter && (prevIsHalfKana || nextIsHalfKana);
}

// --- Korean --------------------------------------------------------------------

enum class Korean : std::uint8_t {
    Ascii,
    Syllable,        // KS X 1001's 2,350 syllables (EUC-KR)
    CommonSyllable,  // ... of them the ones Korean text is mostly made of
    Extension,       // CP949's other 8,822 syllables
    Hanja,
    Jamo,       // ㄱ-ㅣ, as in ㅋㅋ
    Symbol,     // rows A1-A2
    FullAlnum,  // row A3
    Other,      // units, box drawing, Greek, Cyrillic, kana
    Invalid,
};

constexpr int Score(Korean kind)
{
    switch (kind) {
    case Korean::Ascii:
        return kAsciiScore;
    case Korean::Syllable:
        return 24;
    case Korean::CommonSyllable:
        return 46;
    case Korean::Extension:
        return 5;
    case Korean::Hanja:
        return 5;
    case Korean::Jamo:
        return 30;
    case Korean::Symbol:
    case Korean::FullAlnum:
        return 20;
    case Korean::Other:
        return 5;
    case Korean::Invalid:
        break;
    }
    return kInvalidScore;
}

// Syllables that make up most of written Korean (a few hundred cover the
// bulk of any text); the rest of the 2,350 are valid but far less frequent,
// much as the syllables half-width katakana pair up into.
constexpr const char kCommonSyllables[] =
    "가각간갈감강개거건걸검겁것게겠겨격견결경계고곡곤골곳공과관광괴교구국군굴궁권귀규그극근글금급기긴길김깊까깨"
    "꺼께꼬꽃꾸꿈끄끝끼나난날남낭내냐냥너널넘네녀년녕노논놀농높뇌누눈뉴느는늘능니닌님다단달담답당대댄더던덕데델"
    "도독돈돌동돼되된될두둘뒤드득든들듯등디딩따딱때떠떡또똑뚜뜨뜻띠라락란랄람랑래랜램랩량러런럴럼럽렇레렉렌려력"
    "련렬렴령례로록론롤롭료루룩룹류률르륵른를름릉리릭린릴림립링마막만많말맘맛망맞매맥맨머먹먼멀멋메멘며면멸명모"
    "목몰몸못몽무묵문물뭐뭔뮤므미민밀바박반받발밝밤밥방배백밴뱀버번벌범법벗베벤벨벼벽변별병보복본볼봄봉봐부북분"
    "불붉붙뷰브블비빈빌빛빠빨빵뻐뽀뿌뿐쁘삐사산살삶삼상새색샘생샤서석선설섬섭성세센셀셔소속손솔송쇼수숙순술숨숲"
    "쉬쉽슈스슬슴습승시식신실싫심십싱싶싸쌍써썼쏘쓰씨아악안앉않알암압았앙앞애액앤야약양얘어억언얼엄업없었엉에엔엘"
    "여역연열염엽였영예오옥온올옷와완왔왕외요욕용우운울움웃워원월웨위유육윤율은을음응의이익인일임입있잊자작잔잘"
    "잠잡장재쟁저적전절점접정제져조족존졸좀종좋좌죄주죽준줄중쥐즈즉즐즘증지직진질짐집짓징짜짝짧짱째쨌쩌쪽쯤찌찍"
    "차착찬찮찰참창찾채책처천철첫청체쳐초촌총최추축춘출춤충취츠측층치칙친칠침칩카칸칼캐커컨컴케켓켜코콘콜쿠퀴크"
    "큰클키킨킬킹타탁탄탈탐탑탕태택탠터턴털테텐텔토톤통퇴투툭튜트특튼틀티틱팀팅파판팔패팬퍼펀페펜펴편평폐포폭표"
    "푸풀품풍퓨프플피픽필핑하학한할함합항해핵했행향허헌험헤헬혀혁현혈협형혜호혹혼홀홍화확환활황회획효후훈훌훨휘"
    "휴흐흑흔흘흙흡흥희흰히힘";

// One bit per KS X 1001 syllable (lead B0-C8, trail A1-FE), set for the
// common ones: the list above through ICU's windows-949, once.
using SyllableSet = std::bitset<25 * 94>;

SyllableSet MakeCommonSyllables()
{
    SyllableSet set;
    std::string bytes(sizeof kCommonSyllables, '\0');
    UErrorCode err = U_ZERO_ERROR;
    const int32_t written = ucnv_convert("windows-949", "UTF-8", bytes.data(), static_cast<int32_t>(bytes.size()),
                                         kCommonSyllables, -1, &err);
    if (U_FAILURE(err))
        return set;  // no ICU data: every syllable counts alike
    for (int32_t i = 0; i + 1 < written; i += 2) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        const auto trail = static_cast<unsigned char>(bytes[i + 1]);
        if (InRange(lead, 0xB0, 0xC8) && InRange(trail, 0xA1, 0xFE))
            set.set((lead - 0xB0) * 94 + (trail - 0xA1));
    }
    return set;
}

bool IsCommonSyllable(unsigned char lead, unsigned char trail)
{
    static const SyllableSet common = MakeCommonSyllables();
    return common.test((lead - 0xB0) * 94 + (trail - 0xA1));
}

// The kind of the two-byte windows-949 character lead, trail.
Korean KoreanDoubleKind(unsigned char lead, unsigned char trail)
{
    const bool extensionTrail = InRange(trail, 0x41, 0x5A) || InRange(trail, 0x61, 0x7A) || InRange(trail, 0x81, 0xA0);
    if (extensionTrail) {
        // Extension syllables: leads 81-A0 with any of these trails (and
        // A1-FE), leads A1-C6 with these only, the last one at C6 52.
        if (lead <= 0xC5 || (lead == 0xC6 && trail <= 0x52))
            return Korean::Extension;
        return Korean::Invalid;
    }
    if (!InRange(trail, 0xA1, 0xFE))
        return Korean::Invalid;
    if (lead <= 0xA0)
        return Korean::Extension;
    if (InRange(lead, 0xB0, 0xC8))
        return IsCommonSyllable(lead, trail) ? Korean::CommonSyllable : Korean::Syllable;
    if (InRange(lead, 0xCA, 0xFD))
        return Korean::Hanja;
    switch (lead) {
    case 0xA1:
        return Korean::Symbol;
    case 0xA2:
        return trail <= 0xE7 ? Korean::Symbol : Korean::Invalid;
    case 0xA3:
        return Korean::FullAlnum;
    case 0xA4:
        return Korean::Jamo;
    case 0xA5:
    case 0xA6:
    case 0xA7:
    case 0xA8:
    case 0xA9:
    case 0xAA:
    case 0xAB:
    case 0xAC:
        return Korean::Other;
    default:
        return Korean::Invalid;  // rows AD-AF, user-defined C9 and FE
    }
}

Korean ReadKorean(const unsigned char* p, std::size_t n, std::size_t i, std::size_t* length)
{
    const unsigned char b = p[i];
    *length = 1;
    if (b < 0x80)
        return Korean::Ascii;
    if (b == 0x80 || b == 0xFF || i + 1 >= n)
        return Korean::Invalid;
    const Korean kind = KoreanDoubleKind(b, p[i + 1]);
    if (kind != Korean::Invalid)
        *length = 2;
    return kind;
}

// --- UTF-8 ---------------------------------------------------------------------

bool IsTwoByteLetter(char32_t cp)
{
    return (InRange(cp, 0xC0, 0x24F) && cp != 0xD7 && cp != 0xF7) || InRange(cp, 0x370, 0x52F);
}

// Latin-1 signs that text hardly ever uses: ¤ ¦ ¨ ª ¬ soft hyphen ¯ ´ ¸ º.
bool IsRareLatin1Sign(char32_t cp)
{
    constexpr std::string_view kRare = "\xA4\xA6\xA8\xAA\xAC\xAD\xAF\xB4\xB8\xBA";
    return cp <= 0xFF && kRare.find(static_cast<char>(cp)) != kRare.npos;
}

// The code point of the valid UTF-8 sequence at p[i] and its length.
char32_t ReadUtf8(const unsigned char* p, std::size_t n, std::size_t i, std::size_t* length)
{
    const unsigned char b = p[i];
    *length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    if (i + *length > n)
        *length = n - i;  // not valid UTF-8 after all; never read past the end
    char32_t cp = *length == 1 ? b : b & (0x7F >> *length);
    for (std::size_t k = 1; k < *length; ++k)
        cp = (cp << 6) | (p[i + k] & 0x3F);
    return cp;
}

}  // namespace

int Utf8Plausibility(std::string_view bytes)
{
    constexpr int kLetterInWord = 50;
    constexpr int kLoneLetter = 20;
    constexpr int kSign = 50;  // ° ± × © ½ µ: above one common Hangul syllable
    constexpr int kRareSign = 5;
    constexpr int kLong = 60;  // three and four bytes: CJK, kana, Hangul, emoji
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    int score = 0;
    bool prevIsLetter = false;
    for (std::size_t i = 0; i < n;) {
        std::size_t length;
        const char32_t cp = ReadUtf8(p, n, i, &length);
        bool isLetter = false;
        if (cp < 0x80) {
            score += kAsciiScore;
            isLetter = IsAsciiLetter(static_cast<unsigned char>(cp));
        } else if (length > 2) {
            score += kLong;
        } else if (cp < 0xA0) {
            score += kInvalidScore;
        } else if (IsTwoByteLetter(cp)) {
            std::size_t nextLength;
            const bool more = i + length < n;
            const char32_t next = more ? ReadUtf8(p, n, i + length, &nextLength) : 0;
            const bool nextIsLetter =
                more && (next < 0x80 ? IsAsciiLetter(static_cast<unsigned char>(next)) : IsTwoByteLetter(next));
            score += prevIsLetter || nextIsLetter ? kLetterInWord : kLoneLetter;
            isLetter = true;
        } else {
            score += IsRareLatin1Sign(cp) ? kRareSign : cp <= 0xFF ? kSign : kLoneLetter;
        }
        prevIsLetter = isLetter;
        i += length;
    }
    return score;
}

int ShiftJisPlausibility(std::string_view bytes)
{
    constexpr int kLoneHalfKana = -8;  // katakana words are seldom one kana long
    constexpr int kLoneLetter = -20;
    constexpr int kUnpairedBracket = -15;  // ｢ without ｣ after it, or ｣ without ｢ before it
    constexpr unsigned char kHalfOpen = 0xA2, kHalfClose = 0xA3;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    int score = 0;
    std::size_t run = 0;     // half-width katakana in a row so far
    unsigned char prev = 0;  // the one before, within the run
    bool prevIsLetter = false;
    int openBrackets = 0;
    for (std::size_t i = 0; i < n;) {
        std::size_t length;
        const Japanese kind = ReadShiftJis(p, n, i, &length);
        if (kind == Japanese::HalfPunct && p[i] == kHalfOpen) {
            ++openBrackets;
        } else if (kind == Japanese::HalfPunct && p[i] == kHalfClose) {
            if (openBrackets == 0)
                score += kUnpairedBracket;
            else
                --openBrackets;
        }
        if (kind == Japanese::HalfKana) {
            score += Score(kind) + HalfKanaFit(p[i], prev);
            prev = p[i];
            ++run;
        } else {
            score += Score(kind);
            if (kind == Japanese::Ascii && IsLoneLetterBesideHalfKana(p, n, i, run > 0, prevIsLetter))
                score += kLoneLetter;
            if (run == 1)
                score += kLoneHalfKana;
            run = 0;
            prev = 0;
        }
        prevIsLetter = kind == Japanese::Ascii && IsAsciiLetter(p[i]);
        i += length;
    }
    if (run == 1)
        score += kLoneHalfKana;
    return score + openBrackets * kUnpairedBracket;
}

int KoreanPlausibility(std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    int score = 0;
    for (std::size_t i = 0; i < n;) {
        std::size_t length;
        score += Score(ReadKorean(p, n, i, &length));
        i += length;
    }
    return score;
}

}  // namespace tamboro
