// Charset decisions and decoding on real titles. Every byte string below is
// the title encoded with iconv/Python (cp932, cp949, UTF-8), not typed by hand.
#include "platform/TextDecoder.h"
#include "tests/support/TestTree.h"

#include <gtest/gtest.h>
#include <unicode/ucnv.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace std::string_literals;
using tamboro::Charset;
using tamboro::DecodeFieldToUtf16;
using tamboro::DecodeFieldToUtf8;
using tamboro::DecodePathToUtf16;
using tamboro::DecodePathToUtf8;
using tamboro::DecodeToUtf16;
using tamboro::DecodeToUtf8;
using tamboro::DetectCharset;

namespace {

// Shift-JIS (cp932)
const std::string kSjisSakura = "\x82\xB3\x82\xAD\x82\xE7";                               // さくら
const std::string kSjisHimawari = "\x82\xD0\x82\xDC\x82\xED\x82\xE8";                     // ひまわり
const std::string kSjisEuropa = "\x83\x47\x83\x45\x83\x8D\x83\x70";                       // エウロパ
const std::string kSjisTonarimachi = "\x97\xD7\x92\xAC\x82\xCC\xE5\x87\x8B\x43\x98\x4F";  // 隣町の蜃気楼
const std::string kSjisMayonaka =
    "\x90\x5E\x96\xE9\x92\x86\x82\xCC\x83\x4A\x81\x5B\x83\x6A\x83\x6F\x83\x8B";  // 真夜中のカーニバル
const std::string kSjisSo = "\x83\x5C";                                          // ソ (trail byte 0x5C)
const std::string kSjisHyouji = "\x95\x5C\x8E\xA6";                              // 表示
const std::string kSjisHalfwidthAi = "\xB1\xB2";                                 // ｱｲ
const std::string kSjisRin = "\xEA\xA3";  // 凜: EUC-KR-shaped, but reads as hanja 雲, no Hangul
// Korean (cp949; the first two are plain EUC-KR)
const std::string kKrSaranghae = "\xBB\xE7\xB6\xFB\xC7\xD8";                 // 사랑해
const std::string kKrAnnyeong = "\xBE\xC8\xB3\xE7\xC7\xCF\xBC\xBC\xBF\xE4";  // 안녕하세요
const std::string kKrTomyumgoong = "\x8C\x63\xBE\xE4\xB2\xE1";               // 똠얌꿍 (UHC extension)
// UTF-8
const std::string kUtf8Sakura = "\xE3\x81\x95\xE3\x81\x8F\xE3\x82\x89";     // さくら
const std::string kUtf8Saranghae = "\xEC\x82\xAC\xEB\x9E\x91\xED\x95\xB4";  // 사랑해
const std::string kBom = "\xEF\xBB\xBF";

// Independent UTF-16 -> UTF-8 (ICU's), to check our own conversions against.
std::string IcuUtf8(const std::u16string& s)
{
    std::string out(s.size() * 3 + 1, '\0');
    int32_t length = 0;
    UErrorCode err = U_ZERO_ERROR;
    u_strToUTF8(out.data(), static_cast<int32_t>(out.size()), &length, reinterpret_cast<const UChar*>(s.data()),
                static_cast<int32_t>(s.size()), &err);
    EXPECT_TRUE(U_SUCCESS(err)) << u_errorName(err);  // fails on lone surrogates
    out.resize(static_cast<std::size_t>(length));
    return out;
}

}  // namespace

TEST(TextDecoderDetect, ShiftJisTitlesStayJapanese)
{
    // Kana-only and kanji titles that are also valid cp949 (with Hangul in the
    // Korean reading) must not be taken for Korean.
    for (const std::string& title :
         {kSjisSakura, kSjisHimawari, kSjisEuropa, kSjisTonarimachi, kSjisMayonaka, kSjisSo, kSjisHyouji, kSjisRin})
        EXPECT_EQ(DetectCharset({title}), Charset::ShiftJis) << title;

    EXPECT_EQ(DecodeFieldToUtf16(kSjisSakura), u"さくら");
    EXPECT_EQ(DecodeFieldToUtf16(kSjisHimawari), u"ひまわり");
    EXPECT_EQ(DecodeFieldToUtf16(kSjisEuropa), u"エウロパ");
    EXPECT_EQ(DecodeFieldToUtf16(kSjisTonarimachi), u"隣町の蜃気楼");
    EXPECT_EQ(DecodeFieldToUtf16(kSjisMayonaka), u"真夜中のカーニバル");
    EXPECT_EQ(DecodeFieldToUtf16(kSjisSo + "\\"), u"ソ\\");
    EXPECT_EQ(DecodeFieldToUtf16(kSjisRin), u"凜");
    EXPECT_EQ(DecodeFieldToUtf8(kSjisTonarimachi), "隣町の蜃気楼");
}

TEST(TextDecoderDetect, KoreanTitles)
{
    EXPECT_EQ(DetectCharset({kKrSaranghae}), Charset::Korean);  // EUC-KR pairs with Hangul
    EXPECT_EQ(DetectCharset({kKrAnnyeong}), Charset::Korean);
    EXPECT_EQ(DecodeFieldToUtf16(kKrSaranghae), u"사랑해");
    EXPECT_EQ(DecodeFieldToUtf8(kKrAnnyeong), "안녕하세요");

    // Not EUC-KR pairs, valid cp949, broken as Shift-JIS (lead byte 0xE1
    // followed by a space, then by nothing).
    EXPECT_EQ(DetectCharset({kKrTomyumgoong + " (Remix)"}), Charset::Korean);
    EXPECT_EQ(DecodeFieldToUtf16(kKrTomyumgoong + " (Remix)"), u"똠얌꿍 (Remix)");
    EXPECT_EQ(DetectCharset({kKrTomyumgoong}), Charset::Korean);
}

TEST(TextDecoderDetect, Utf8AndAscii)
{
    EXPECT_EQ(DetectCharset({"Never Gonna Give You Up"}), Charset::Utf8);
    EXPECT_EQ(DetectCharset({""}), Charset::Utf8);
    EXPECT_EQ(DetectCharset({}), Charset::Utf8);
    EXPECT_EQ(DetectCharset({kUtf8Sakura, kUtf8Saranghae}), Charset::Utf8);
    EXPECT_EQ(DetectCharset({kBom + kUtf8Sakura}), Charset::Utf8);
    EXPECT_EQ(DetectCharset({"\xF0\x9F\x8E\xB5", "\xF4\x8F\xBF\xBF", "\xEF\xBF\xBF"}), Charset::Utf8);

    EXPECT_EQ(DecodeFieldToUtf16(kBom + kUtf8Sakura), u"さくら");
    EXPECT_EQ(DecodeFieldToUtf8(kBom + kUtf8Sakura), "さくら");
    EXPECT_EQ(DecodeFieldToUtf16("\xF0\x9F\x8E\xB5"), u"\U0001F3B5");
    // Only a leading byte-order mark goes; one further on is text.
    EXPECT_EQ(DecodeFieldToUtf16("a" + kBom), u"a\uFEFF");
    EXPECT_EQ(DecodeFieldToUtf16(kBom + kBom), u"\uFEFF");
    EXPECT_EQ(DecodeFieldToUtf8("Op.\x01 ~ [A]"), "Op.\x01 ~ [A]");

    // Ill-formed UTF-8 does not count as UTF-8: overlong, surrogate, above
    // U+10FFFF, truncated, stray continuation byte.
    for (const std::string& bad : {"\xC0\xAF"s, "\xE0\x80\xAF"s, "\xED\xA0\x80"s, "\xF4\x90\x80\x80"s,
                                   "\xF5\x80\x80\x80"s, "\xE3\x81"s, "a\x80"s})
        EXPECT_NE(DetectCharset({bad}), Charset::Utf8) << testing::PrintToString(bad);
}

TEST(TextDecoderDetect, FieldsOfOneChartDecideTogether)
{
    // ASCII genre and artist do not pull a Shift-JIS title to UTF-8.
    EXPECT_EQ(DetectCharset({"J-POP", kSjisTonarimachi, "xi"}), Charset::ShiftJis);
    EXPECT_EQ(DetectCharset({"K-POP", kKrSaranghae, "BIGBANG"}), Charset::Korean);
    // Half-width ｱｲ pairs as the KS X 1001 syllable 굉, which Korean text
    // seldom uses; as kana it is a katakana word.
    EXPECT_EQ(DetectCharset({kSjisHalfwidthAi}), Charset::ShiftJis);
    EXPECT_EQ(DetectCharset({"", kSjisHalfwidthAi, kSjisSakura}), Charset::ShiftJis);
    EXPECT_EQ(DecodeToUtf16(kSjisHalfwidthAi, Charset::ShiftJis), u"ｱｲ");
    // One UTF-8 field and one Shift-JIS field: not all UTF-8.
    EXPECT_EQ(DetectCharset({kUtf8Sakura, kSjisSakura}), Charset::ShiftJis);
}

TEST(TextDecoderDecode, InvalidBytesBecomeReplacementCharacters)
{
    // Single bytes that are no Shift-JIS at all, an unassigned double byte,
    // a lead byte before a non-trail, and a lead byte cut off at the end.
    EXPECT_EQ(DecodeToUtf16("\x82\xB3\x80\x82\xAD\xA0\xFD", Charset::ShiftJis), u"さ\uFFFDく\uFFFD\uFFFD");
    EXPECT_EQ(DecodeToUtf16("\x85\x40!", Charset::ShiftJis), u"\uFFFD!");
    EXPECT_EQ(DecodeToUtf16("\x82 a", Charset::ShiftJis), u"\uFFFD a");
    EXPECT_EQ(DecodeToUtf16(kSjisSakura + "\x82", Charset::ShiftJis), u"さくら\uFFFD");
    EXPECT_EQ(DecodeFieldToUtf8(kSjisSakura + "\x82"), "さくら\xEF\xBF\xBD");
    EXPECT_EQ(DecodeToUtf16("\xA2\xE8\xBB\xE7", Charset::Korean), u"\uFFFD사");
    EXPECT_EQ(DecodeToUtf16(kKrSaranghae + "\xBB", Charset::Korean), u"사랑해\uFFFD");

    // UTF-8 asked for on bytes that are not: one U+FFFD per maximal bad part.
    EXPECT_EQ(DecodeToUtf16("a\xC0\x80"
                            "b",
                            Charset::Utf8),
              u"a\uFFFD\uFFFDb");
    EXPECT_EQ(DecodeToUtf16("\xE3\x81"
                            "a\xF0\x9F\x8E",
                            Charset::Utf8),
              u"\uFFFDa\uFFFD");
    EXPECT_EQ(DecodeToUtf8("\xED\xA0\x80", Charset::Utf8), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");

    // Embedded NULs are characters like any other.
    EXPECT_EQ(DecodeFieldToUtf16("ab\0c"s), u"ab\0c"s);
    EXPECT_EQ(DecodeToUtf16("\x82\xB3\0\x82\xAD"s, Charset::ShiftJis), u"さ\0く"s);
    EXPECT_EQ(DecodeToUtf16("\x82\0"s, Charset::ShiftJis), u"\uFFFD\0"s);
}

TEST(TextDecoderDecode, RandomBytesNeverBreakIt)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> byte(0, 255), length(0, 24);
    for (int round = 0; round < 20000; ++round) {
        std::string bytes(static_cast<std::size_t>(length(rng)), '\0');
        for (char& c : bytes)
            c = static_cast<char>(round % 3 == 0 ? 0x80 + byte(rng) % 128 : byte(rng));
        const Charset cs = DetectCharset({bytes});
        const std::u16string utf16 = DecodeToUtf16(bytes, cs);
        // UTF-8 output is the UTF-16 output, and both are well-formed.
        ASSERT_EQ(DecodeToUtf8(bytes, cs), IcuUtf8(utf16)) << testing::PrintToString(bytes);
        ASSERT_EQ(DecodeFieldToUtf16(bytes), utf16);
        for (Charset other : {Charset::Utf8, Charset::Korean, Charset::ShiftJis})
            ASSERT_EQ(DecodeToUtf8(bytes, other), IcuUtf8(DecodeToUtf16(bytes, other)));
    }
}

TEST(TextDecoderDecode, LargeInput)
{
    std::string big;
    for (int i = 0; i < 200000; ++i)
        big += kSjisTonarimachi;  // 2.4 MB, many converter chunks
    ASSERT_EQ(DetectCharset({big}), Charset::ShiftJis);
    const std::u16string decoded = DecodeToUtf16(big, Charset::ShiftJis);
    ASSERT_EQ(decoded.size(), 6u * 200000);
    EXPECT_EQ(decoded.substr(decoded.size() - 6), u"隣町の蜃気楼");
    EXPECT_EQ(DecodeFieldToUtf8(big).size(), 18u * 200000);
}

TEST(TextDecoderPath, ComponentsDecideOnTheirOwn)
{
    const std::string path = "/home/me/bms/" + kSjisTonarimachi + "/" + kUtf8Sakura + "/" + kKrSaranghae + "/";
    EXPECT_EQ(DecodePathToUtf16(path), u"/home/me/bms/隣町の蜃気楼/さくら/사랑해/");
    EXPECT_EQ(DecodePathToUtf8(path), "/home/me/bms/隣町の蜃気楼/さくら/사랑해/");
    // A name ending in trail byte 0x5C right before the separator, and 0x5C
    // inside a name.
    EXPECT_EQ(DecodePathToUtf16("/bms/" + kSjisSo + "/" + kSjisHyouji + "/x.bms"), u"/bms/ソ/表示/x.bms");
    EXPECT_EQ(DecodePathToUtf16("a//b"), u"a//b");
    EXPECT_EQ(DecodePathToUtf8(""), "");
    EXPECT_EQ(DecodePathToUtf16("/"), u"/");
}

TEST(TextDecoderThreads, ConcurrentDecodingAgreesWithSingleThread)
{
    const std::vector<std::string> inputs = {
        kSjisSakura,        kSjisMayonaka, kKrAnnyeong,          kKrTomyumgoong,
        kBom + kUtf8Sakura, "ASCII only",  kSjisSakura + "\x82", "/a/" + kSjisSo + "/" + kKrSaranghae};
    std::vector<std::u16string> expected;
    for (const std::string& s : inputs)
        expected.push_back(DecodePathToUtf16(s));

    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3000; ++round)
                for (std::size_t i = 0; i < inputs.size(); ++i)
                    if (DecodePathToUtf16(inputs[i]) != expected[i])
                        ++mismatches[t];
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}

// --- test sets -------------------------------------------------------------
// Charts as libraries hold them (tests/data/charts_*.tsv: genre, title,
// artist in UTF-8) and folder paths (tests/data/folders_*.txt), encoded here
// with ICU's windows-31j or windows-949. Chart fields are decided together
// and decoded; each field is also decided alone, as a folder name is; a
// folder path is decoded as the list shows it. Each set prints its counts.

namespace {

std::string IcuEncode(const std::string& utf8, const char* charset)
{
    std::string out(utf8.size() * 2 + 1, '\0');
    UErrorCode err = U_ZERO_ERROR;
    const int32_t written = ucnv_convert(charset, "UTF-8", out.data(), static_cast<int32_t>(out.size()), utf8.data(),
                                         static_cast<int32_t>(utf8.size()), &err);
    EXPECT_TRUE(U_SUCCESS(err)) << utf8 << ": " << u_errorName(err);
    out.resize(static_cast<std::size_t>(written));
    return out;
}

struct TestSet {
    const char* file;
    Charset written;  // ShiftJis (windows-31j), Korean (windows-949) or Utf8
};

struct TestSetResult {
    int entries = 0;
    std::vector<std::string> wrong;         // entries not decoded to their text
    int otherScript = 0;                    // ... of them decided as the other legacy code page
    int fields = 0, fieldsOtherScript = 0;  // non-ASCII chart fields decided alone
};

std::vector<std::string> ReadLines(const std::string& file)
{
    std::ifstream in(std::string(TAMBORO_TEST_DATA_DIR) + "/" + file);
    EXPECT_TRUE(in.good()) << file;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    return lines;
}

TestSetResult DecodeTestSet(const TestSet& set)
{
    const char* charset = set.written == Charset::Korean ? "windows-949"
                          : set.written == Charset::Utf8 ? "UTF-8"
                                                         : "windows-31j";
    const Charset other = set.written == Charset::ShiftJis ? Charset::Korean : Charset::ShiftJis;
    const bool folders = std::string_view(set.file).starts_with("folders_");
    TestSetResult result;
    for (const std::string& line : ReadLines(set.file)) {
        ++result.entries;
        if (folders) {
            if (DecodePathToUtf8(IcuEncode(line, charset)) != line) {
                result.wrong.push_back(line);
                result.otherScript +=
                    DecodePathToUtf8(IcuEncode(line, charset)) == DecodeToUtf8(IcuEncode(line, charset), other);
            }
            continue;
        }
        std::vector<std::string> text, bytes;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, '\t');) {
            text.push_back(field);
            bytes.push_back(IcuEncode(field, charset));
        }
        EXPECT_EQ(bytes.size(), 3u) << line;
        bytes.resize(3);
        text.resize(3);
        const Charset cs = DetectCharset({bytes[0], bytes[1], bytes[2]});
        bool right = cs == set.written;
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            right = right && DecodeToUtf8(bytes[i], cs) == text[i];
            if (bytes[i] != text[i]) {  // not ASCII
                ++result.fields;
                result.fieldsOtherScript += DetectCharset({bytes[i]}) == other;
            }
        }
        if (!right) {
            result.wrong.push_back(line);
            result.otherScript += cs == other;
        }
    }
    std::cout << set.file << ": " << result.entries << " entries, " << result.wrong.size() << " decoded wrong ("
              << result.otherScript << " as " << (other == Charset::Korean ? "Korean" : "Shift-JIS") << ")";
    if (!folders)
        std::cout << "; fields alone: " << result.fieldsOtherScript << " of " << result.fields << " as "
                  << (other == Charset::Korean ? "Korean" : "Shift-JIS");
    std::cout << "\n";
    return result;
}

}  // namespace

TEST(TextDecoderTestSets, EveryEntryDecodesToItsText)
{
    for (const TestSet& set :
         {TestSet{"charts_japanese.tsv", Charset::ShiftJis},
          TestSet{"charts_japanese_halfwidth.tsv", Charset::ShiftJis},
          TestSet{"folders_japanese_halfwidth.txt", Charset::ShiftJis}, TestSet{"charts_korean.tsv", Charset::Korean},
          TestSet{"charts_korean_extension.tsv", Charset::Korean}, TestSet{"charts_korean_mixed.tsv", Charset::Korean},
          TestSet{"folders_korean.txt", Charset::Korean}, TestSet{"charts_utf8_two_byte.tsv", Charset::Utf8}}) {
        const TestSetResult result = DecodeTestSet(set);
        EXPECT_GT(result.entries, 0) << set.file;
        EXPECT_EQ(result.wrong, std::vector<std::string>{}) << set.file;
    }
}

TEST(TextDecoderTestSets, KoreanThatIsPlainJapaneseTooIsToldByTheOtherFields)
{
    // Every Hangul syllable of these is one Shift-JIS character or two
    // half-width katakana; only charts whose other fields hold Korean text
    // can be told, the rest read as Shift-JIS.
    const TestSetResult unmarked = DecodeTestSet({"charts_korean_extension_unmarked.tsv", Charset::Korean});
    EXPECT_EQ(unmarked.wrong.size(), static_cast<std::size_t>(unmarked.otherScript));
    for (const std::string& told : {"인터넷\t쀍\t박서준"s, "인터넷\t쌻\t악마"s, "K-POP\t믜\t눈물"s})
        EXPECT_EQ(std::count(unmarked.wrong.begin(), unmarked.wrong.end(), told), 0) << told;
}

// --- the command -------------------------------------------------------------

TEST(TextDecoderCommand, ListsHalfWidthKatakanaAsJapaneseAndShortKoreanAsKorean)
{
    // Charts and folder names written as players write them, listed by
    // tamboro-scan run as a process: the titles and folder names come back
    // as their text.
    tamboro::test::TestTree tree;
    const std::vector<std::string> japaneseTitles = {"ｱｲｽ春♪",        "星空ｱｲｽ？",   "少女ﾒﾛﾃﾞｨSakura",
                                                     "風ｱｲｽ～ Storm", "乙女ｱｲｽ神話", "ﾌﾟﾛﾊﾟﾃｨ“"};
    const std::string japaneseFolder = "mumei_151_乙女ﾒﾛﾃﾞｨPlanet";
    for (std::size_t i = 0; i < japaneseTitles.size(); ++i)
        tree.WriteChart(IcuEncode(japaneseFolder, "windows-31j") + "/" + std::to_string(i) + ".bms", "TECHNO",
                        IcuEncode(japaneseTitles[i], "windows-31j"), "DJ");
    const std::vector<std::array<std::string, 3>> koreanCharts = {
        {"K-POP", "짱", "김민수"}, {"K-POP", "쨍쨍", "이지은"}, {"인터넷", "뷁", "박서준"}};
    const std::string koreanFolder = "똠방각하";
    for (std::size_t i = 0; i < koreanCharts.size(); ++i)
        tree.WriteChart(IcuEncode(koreanFolder, "windows-949") + "/" + std::to_string(i) + ".bms",
                        IcuEncode(koreanCharts[i][0], "windows-949"), IcuEncode(koreanCharts[i][1], "windows-949"),
                        IcuEncode(koreanCharts[i][2], "windows-949"));

    const std::string command = std::string("'") + TAMBORO_SCAN_PATH + "' --jobs 1 '" + tree.Root() + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, n);
    ASSERT_EQ(::pclose(pipe), 0);

    for (const std::string& title : japaneseTitles)
        EXPECT_NE(out.find(tree.Root() + "/" + japaneseFolder + "/\tTECHNO\t" + title + "\tDJ\n"), std::string::npos)
            << title << "\n"
            << out;
    for (const auto& [genre, title, artist] : koreanCharts)
        EXPECT_NE(out.find(tree.Root() + "/" + koreanFolder + "/\t" + genre + "\t" + title + "\t" + artist + "\n"),
                  std::string::npos)
            << title << "\n"
            << out;
}
