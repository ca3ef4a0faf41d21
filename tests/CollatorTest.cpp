// Linguistic ordering and sort keys.
#include "platform/Collator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/ScopedEnv.h"

using tamboro::Collator;

namespace {

int Sign(int v)
{
    return (v > 0) - (v < 0);
}

std::vector<std::u16string> SortedByCompare(std::vector<std::u16string> v, const Collator& c)
{
    std::stable_sort(v.begin(), v.end(), [&c](const auto& a, const auto& b) { return c.Compare(a, b) < 0; });
    return v;
}

using tamboro::test::ScopedEnv;

}  // namespace

TEST(CollatorOrder, LettersBeforeCaseUnlikeByteOrder)
{
    for (const char* locale : {"", "en_US"}) {
        const Collator c(locale);
        EXPECT_LT(c.Compare(u"a", u"B"), 0) << locale;  // byte order says "B" < "a"
        EXPECT_LT(c.Compare(u"B", u"c"), 0) << locale;
        EXPECT_GT(c.Compare(u"c", u"a"), 0) << locale;
        EXPECT_LT(c.Compare(u"resume", u"Résumé"), 0) << locale;
        EXPECT_LT(c.Compare(u"Résumé", u"rhythm"), 0) << locale;  // byte order puts "é" after all ASCII

        // Tertiary strength: case matters, but only after the letters.
        EXPECT_NE(c.Compare(u"a", u"A"), 0);
        EXPECT_EQ(c.Compare(u"Ab", u"Ab"), 0);
        EXPECT_EQ(SortedByCompare({u"b", u"ab", u"A", u"B", u"a"}, c),
                  (std::vector<std::u16string>{u"a", u"A", u"ab", u"b", u"B"}));
    }
}

TEST(CollatorOrder, JapaneseKanaAndKanji)
{
    const Collator root("");
    // Katakana and half-width katakana sort among the hiragana, not after them
    // as their code points would.
    EXPECT_LT(root.Compare(u"カ", u"き"), 0);
    EXPECT_LT(root.Compare(u"ｶ", u"き"), 0);
    EXPECT_LT(root.Compare(u"さくら", u"ソ"), 0);
    EXPECT_LT(root.Compare(u"ソ", u"ひまわり"), 0);

    // Japanese orders kanji by reading groups (JIS order): 亜 before 一,
    // the reverse of their code points and of the root order.
    const Collator ja("ja_JP");
    EXPECT_LT(ja.Compare(u"亜", u"一"), 0);
    EXPECT_GT(root.Compare(u"亜", u"一"), 0);
    EXPECT_LT(ja.Compare(u"ひまわり", u"隣町の蜃気楼"), 0);
}

TEST(CollatorSortKey, AgreesWithCompareOnMixedList)
{
    std::u16string longTitle;
    for (int i = 0; i < 200; ++i)
        longTitle += u"真夜中のカーニバル ";  // key longer than the stack buffer
    std::vector<std::u16string> items = {u"",
                                         u"a",
                                         u"A",
                                         u"b",
                                         u"B",
                                         u"ab",
                                         u"Ab",
                                         u"aB",
                                         u"résumé",
                                         u"Résumé",
                                         u"resume",
                                         u"10",
                                         u"9",
                                         u"-9",
                                         u"さくら",
                                         u"サクラ",
                                         u"ｻｸﾗ",
                                         u"桜",
                                         u"隣町の蜃気楼",
                                         u"真夜中のカーニバル",
                                         longTitle,
                                         longTitle + u"!",
                                         u"사랑해",
                                         u"안녕하세요",
                                         u"Ωmega",
                                         u"omega",
                                         u"\U0001F3B5",
                                         u"x\u0301",
                                         u"\u00FD",
                                         std::u16string(1, u'\0')};
    std::mt19937 rng(7);
    std::shuffle(items.begin(), items.end(), rng);

    for (const char* locale : {"", "en_US", "ja_JP", "ko_KR"}) {
        const Collator c(locale);
        std::vector<std::string> keys;
        for (const auto& s : items)
            keys.push_back(c.SortKey(s));
        for (std::size_t i = 0; i < items.size(); ++i)
            for (std::size_t j = 0; j < items.size(); ++j)
                ASSERT_EQ(Sign(keys[i].compare(keys[j])), Sign(c.Compare(items[i], items[j])))
                    << locale << " " << i << " " << j;

        std::vector<std::size_t> byKey(items.size());
        for (std::size_t i = 0; i < byKey.size(); ++i)
            byKey[i] = i;
        std::stable_sort(byKey.begin(), byKey.end(), [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
        std::vector<std::u16string> sortedByKey;
        for (std::size_t i : byKey)
            sortedByKey.push_back(items[i]);
        EXPECT_EQ(sortedByKey, SortedByCompare(items, c)) << locale;
    }
}

TEST(CollatorLocale, NamesFromTheEnvironment)
{
    EXPECT_EQ(Collator::NormalizeLocaleName("ja_JP.UTF-8"), "ja_JP");
    EXPECT_EQ(Collator::NormalizeLocaleName("de_DE@euro"), "de_DE");
    EXPECT_EQ(Collator::NormalizeLocaleName("ko_KR.EUC-KR@x"), "ko_KR");
    EXPECT_EQ(Collator::NormalizeLocaleName("C.UTF-8"), "");
    EXPECT_EQ(Collator::NormalizeLocaleName("POSIX"), "");
    EXPECT_EQ(Collator::NormalizeLocaleName(""), "");

    {
        ScopedEnv all("LC_ALL", "ja_JP.UTF-8"), collate("LC_COLLATE", "de_DE.UTF-8"), lang("LANG", "en_US.UTF-8");
        EXPECT_EQ(Collator::LocaleFromEnvironment(), "ja_JP");
        EXPECT_EQ(Collator().LocaleName(), "ja_JP");
        EXPECT_LT(Collator().Compare(u"亜", u"一"), 0);  // really the Japanese order
    }
    {
        ScopedEnv all("LC_ALL", ""), collate("LC_COLLATE", "de_DE.UTF-8"), lang("LANG", "en_US.UTF-8");
        EXPECT_EQ(Collator::LocaleFromEnvironment(), "de_DE");
    }
    {
        ScopedEnv all("LC_ALL", nullptr), collate("LC_COLLATE", nullptr), lang("LANG", "ko_KR.UTF-8");
        EXPECT_EQ(Collator::LocaleFromEnvironment(), "ko_KR");
    }
    {
        ScopedEnv all("LC_ALL", nullptr), collate("LC_COLLATE", nullptr), lang("LANG", nullptr);
        EXPECT_EQ(Collator::LocaleFromEnvironment(), "");
        EXPECT_GT(Collator().Compare(u"亜", u"一"), 0);  // root order
    }
    // A locale ICU has no data for still collates (as root).
    EXPECT_LT(Collator("xx_YY").Compare(u"a", u"B"), 0);
}

TEST(CollatorCopy, CopiesAreIndependentPerThread)
{
    const Collator original("ja_JP");
    std::vector<Collator> copies(3, original);
    std::vector<int> wrong(copies.size(), 0);
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < copies.size(); ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i)
                if (copies[t].Compare(u"亜", u"一") >= 0 || copies[t].SortKey(u"a") >= copies[t].SortKey(u"B"))
                    ++wrong[t];
        });
    for (std::thread& th : threads)
        th.join();
    EXPECT_EQ(wrong, std::vector<int>(copies.size(), 0));
    EXPECT_EQ(copies[0].LocaleName(), "ja_JP");
}
