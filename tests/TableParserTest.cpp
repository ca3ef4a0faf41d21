// A table's files read from bytes, as servers of the field write them, and
// the addresses they give resolved.
#include <gtest/gtest.h>

#include "tables/TableParser.h"
#include "tables/TableUrl.h"

namespace tamboro {
namespace {

const std::string kMd5(32, 'a');

TEST(TableParser, PageNamesItsHeaderWhateverTheMarkup)
{
    EXPECT_EQ(FindHeaderAddress(R"(<meta name="bmstable" content="header.json">)"), "header.json");
    EXPECT_EQ(FindHeaderAddress("<HEAD><Meta\nCONTENT='h.json?a=1&amp;b=2' Name='BMSTABLE' /></HEAD>"),
              "h.json?a=1&b=2");
    EXPECT_EQ(FindHeaderAddress("<meta charset=utf-8><meta name=bmstable content= ./x/head.json >"), "./x/head.json");
    EXPECT_EQ(FindHeaderAddress("<meta name=\"bmstable\" content=\" https://h.example/t/header.json \"/>"),
              "https://h.example/t/header.json");
    // Commented out, another meta, or cut short: none.
    EXPECT_EQ(FindHeaderAddress("<!-- <meta name=bmstable content=old.json> --><p>"), std::nullopt);
    EXPECT_EQ(FindHeaderAddress("<meta name=description content=x><metadata name=bmstable content=y>"), std::nullopt);
    EXPECT_EQ(FindHeaderAddress("<meta name=bmstable content=\"x"), "x");
    EXPECT_EQ(FindHeaderAddress("<meta name=bmstable"), std::nullopt);
}

TEST(TableParser, HeaderTakesItsFieldsAndIgnoresTheRest)
{
    const auto header = ParseTableHeader("\xEF\xBB\xBF\r\n\x01"
                                         R"({"name":"Insane","symbol":"★","data_url":["a.json",7,"b.json"],)"
                                         R"("levels":["x"],"level_order":[1,"2",0.5,null],"tag":"t","mode":"beat-7k",)"
                                         R"("course":[[{"name":"c","md5":["x"]}]],"name":"Insane 2"})"
                                         "\x00\x1f ");
    ASSERT_TRUE(header) << header.Error();
    EXPECT_EQ(header->name, "Insane 2");
    EXPECT_EQ(header->symbol, "★");
    EXPECT_EQ(header->dataAddresses, (std::vector<std::string>{"a.json", "b.json"}));
    EXPECT_EQ(header->levelOrder, (std::vector<std::string>{"1", "2", "0.5"}));

    const auto single = ParseTableHeader(R"({"name":1,"symbol":"","data_url":"d.json","levels":[3,"4"]})");
    ASSERT_TRUE(single) << single.Error();
    EXPECT_EQ(single->name, "1");
    EXPECT_EQ(single->dataAddresses, std::vector<std::string>{"d.json"});
    EXPECT_EQ(single->levelOrder, (std::vector<std::string>{"3", "4"}));
}

TEST(TableParser, HeaderFaultsAreNamed)
{
    struct Case {
        std::string bytes;
        std::string error;
    };
    for (const Case& c : {
             Case{R"({"name":"n","data_url":"d"})", "the header has no symbol"},
             Case{R"({"symbol":"s","name":null})", "the header has no name"},
             Case{R"({"name":"n","symbol":"s","data_url":{"u":"d"}})", "data_url is neither a text nor a list"},
             Case{R"({"name":"n","symbol":"s","data_url":5})", "data_url is neither a text nor a list"},
             Case{R"(["name"])", "not a header"},
             Case{"\xEF\xBB\xBF"
                  R"({"name":"n",,})",
                  "invalid JSON at byte 15:"},
             Case{R"({"name":"n"} x)", "invalid JSON at byte 13:"},
             Case{"", "invalid JSON at byte 0:"},
         }) {
        const auto header = ParseTableHeader(c.bytes);
        ASSERT_FALSE(header) << c.bytes;
        EXPECT_NE(header.Error().find(c.error), std::string::npos) << c.bytes << " -> " << header.Error();
    }
}

TEST(TableParser, EveryEntryIsKeptWithItsHashesOnlyWhenUsable)
{
    const std::string sha256(64, 'B');
    std::vector<TableEntry> entries;
    const auto withoutHash = ParseTableEntries("\xEF\xBB\xBF"
                                               R"([
        {"level":12,"md5":"0123456789ABCDEF0123456789abcdef","title":"T","artist":"A","url":"u",
         "url_diff":"ud","name_diff":"nd","comment":"c","org_md5":["x"],"extra":{"level":"9"}},
        {"level":"0.5","md5":"","sha256":" )" + sha256 +
                                                   R"(\r\n"},
        {"level":"1","md5":"null"},
        {"md5":")" + kMd5 + R"(\t"},
        {"level":"","md5":" )" + kMd5 + R"( "},
        {"level":true,"md5":"#N/A","sha256":"ABCDEF0123456789ABCDEF0123456789"},
        {"level":"2","md5":"0123456789abcdef0123456789abcdeg","sha256":"short"},
        {"level":"3","md5":")" + kMd5.substr(1) + R"(","sha256":")" +
                                                   sha256 + kMd5.substr(20) + R"("},
        {"level":"4","md5":"https://example.com/)" +
                                                   kMd5 + R"("},
        {"level":-1.25,"md5":")" + kMd5 +
                                                   R"(","title":42},
        "not an entry", [1]
    ])"
                                                   "\n\x1a",
                                               entries);
    ASSERT_TRUE(withoutHash) << withoutHash.Error();
    ASSERT_EQ(entries.size(), 10u);
    EXPECT_EQ(*withoutHash, 5u);
    EXPECT_EQ(entries[0], (TableEntry{"12", "0123456789abcdef0123456789abcdef", "", "T", "A", "u", "ud", "nd", "c"}));
    // White space and control characters around a hash are cut, capitals lowered.
    EXPECT_EQ(entries[1].Hash(), EntryHash::Sha256);
    EXPECT_EQ(entries[1].sha256, std::string(64, 'b'));
    EXPECT_EQ(entries[3].md5, kMd5);
    EXPECT_EQ(entries[4].md5, kMd5);
    // No level, or one that is not a text or number: an empty level.
    EXPECT_EQ(entries[3].level, "");
    EXPECT_EQ(entries[4].level, "");
    EXPECT_EQ(entries[5].level, "");
    for (const std::size_t unusable : {2, 5, 6, 7, 8}) {
        EXPECT_EQ(entries[unusable].Hash(), EntryHash::None) << unusable;
        EXPECT_EQ(entries[unusable].md5 + entries[unusable].sha256, "") << unusable;
    }
    EXPECT_EQ(entries[7].level, "3");
    EXPECT_EQ(entries[9].level, "-1.25");
    EXPECT_EQ(entries[9].title, "42");

    // Wrapped in an object, appended after what is there.
    const auto wrapped =
        ParseTableEntries(R"({"name":"x","charts":[{"level":"7","md5":")" + kMd5 + R"("}],"more":[{}]})", entries);
    ASSERT_TRUE(wrapped) << wrapped.Error();
    ASSERT_EQ(entries.size(), 11u);
    EXPECT_EQ(entries[10].level, "7");
}

TEST(TableParser, EntriesFaultsLeaveTheListAsItWas)
{
    std::vector<TableEntry> entries(1);
    for (const auto& [bytes, error] : std::vector<std::pair<std::string, std::string>>{
             {R"([{"level":"1","md5":")" + kMd5 + R"("}, {"level": })", "invalid JSON at byte 67:"},
             {R"({"charts":{"level":"1"}})", "no list of entries"},
             {R"({"data":[]})", "no list of entries"},
             {"12", "no list of entries"},
             {"[\"\xff\"]", "invalid JSON"},
         }) {
        const auto result = ParseTableEntries(bytes, entries);
        ASSERT_FALSE(result) << bytes;
        EXPECT_NE(result.Error().find(error), std::string::npos) << bytes << " -> " << result.Error();
        EXPECT_EQ(entries.size(), 1u);
    }
}

TEST(TableUrl, RelativeAddressesResolveAsBrowsersDo)
{
    const std::string base = "http://a/b/c/d;p?q";
    for (const auto& [reference, resolved] : std::vector<std::pair<std::string, std::string>>{
             {"g", "http://a/b/c/g"},
             {"./g", "http://a/b/c/g"},
             {"g/", "http://a/b/c/g/"},
             {"/g", "http://a/g"},
             {"//g", "http://g"},
             {"?y", "http://a/b/c/d;p?y"},
             {"g?y#s", "http://a/b/c/g?y#s"},
             {"", "http://a/b/c/d;p?q"},
             {"../g", "http://a/b/g"},
             {"../../../g", "http://a/g"},
             {"../../../../g", "http://a/g"},
             {"/./g", "http://a/g"},
             {"/../g", "http://a/g"},
             {"g/../..", "http://a/b/"},
             {"https://other/x/../y.json", "https://other/y.json"},
         })
        EXPECT_EQ(ResolveAddress(base, reference), resolved) << reference;
    EXPECT_EQ(ResolveAddress("http://host", "data.json"), "http://host/data.json");
    EXPECT_EQ(ResolveAddress("file:///t/page.html", "../../../d.json"), "file:///d.json");

    const std::string path = "/tmp/a b/#?%/表.json";
    const std::string file = FileAddressOf(path);
    EXPECT_EQ(file.find_first_of(" #?"), std::string::npos) << file;
    EXPECT_EQ(PathOfFileAddress(file), path);
    EXPECT_EQ(PathOfFileAddress(ResolveAddress(file, "x%20y.json")), "/tmp/a b/#?%/x y.json");
    EXPECT_EQ(PathOfFileAddress("file://elsewhere/x"), std::nullopt);
    EXPECT_EQ(RequestAddress("http://h/a b/表.json#frag"), "http://h/a%20b/%E8%A1%A8.json");
    EXPECT_TRUE(IsFetchableAddress("HTTPS://x"));
    EXPECT_FALSE(IsFetchableAddress("c:/tables/x.json"));
}

}  // namespace
}  // namespace tamboro
