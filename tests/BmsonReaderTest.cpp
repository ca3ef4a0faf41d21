// The values of bmson charts, from the JSON players' tools write.
#include <gtest/gtest.h>

#include "search/BmsonReader.h"

namespace tamboro {
namespace {

std::string V(const TagTable& tags, TagId tag)
{
    return tags.Value(tag);
}

TEST(BmsonReader, TakesInfoValuesAndSkipsTheNotes)
{
    TagTable tags;
    tags.Value(TagOf("#RANK ")) = "left from the chart before";
    ParseBmson(R"({"version":"1.0.0","sound_channels":[{"name":"a.wav","notes":[{"x":1,"y":0}]}],
        "info":{"title":"ツバサ","subtitle":"-extended-","artist":"a","subartists":["obj:b","movie:c",""],
        "genre":"TRANCE","level":12,"init_bpm":150.5,"total":300,"chart_name":"7KEYS ANOTHER",
        "back_image":"x.png"},"bga":{}})",
               tags);
    EXPECT_EQ(V(tags, TagOf("#TITLE ")), "ツバサ");
    EXPECT_EQ(V(tags, TagOf("#SUBTITLE ")), "-extended- [7KEYS ANOTHER]");
    EXPECT_EQ(V(tags, TagOf("#ARTIST ")), "a");
    EXPECT_EQ(V(tags, TagOf("#SUBARTIST ")), "obj:b, movie:c");
    EXPECT_EQ(V(tags, TagOf("#GENRE ")), "TRANCE");
    EXPECT_EQ(V(tags, TagOf("#PLAYLEVEL ")), "12");
    EXPECT_EQ(V(tags, TagOf("#DIFFICULTY ")), "4");
    EXPECT_EQ(V(tags, TagOf("#BPM ")), "150.5");
    EXPECT_EQ(V(tags, TagOf("#TOTAL ")), "300");
    EXPECT_EQ(V(tags, TagOf("#RANK ")), "");
}

TEST(BmsonReader, WrongTypesAndBrokenFilesGiveEmptyValues)
{
    TagTable tags;
    ParseBmson(R"({"info":{"title":7,"level":"★5","init_bpm":"150","artist":{"x":1},"subartists":"solo"}})", tags);
    EXPECT_EQ(V(tags, TagOf("#TITLE ")), "7");
    EXPECT_EQ(V(tags, TagOf("#PLAYLEVEL ")), "★5");
    EXPECT_EQ(V(tags, TagOf("#BPM ")), "150");
    EXPECT_EQ(V(tags, TagOf("#ARTIST ")), "");
    EXPECT_EQ(V(tags, TagOf("#SUBARTIST ")), "solo");

    for (const char* broken : {R"({"info":{"title":"cut)", R"({"info":[1,2]})", "", "\xEF\xBB\xBF#TITLE x",
                               R"([{"info":{"title":"in an array"}}])"}) {
        tags.Value(TagOf("#TITLE ")) = "stale";
        ParseBmson(broken, tags);
        EXPECT_EQ(tags.ValueBytes(), 0u) << broken;
    }
}

TEST(BmsonReader, NamesItsFiles)
{
    EXPECT_TRUE(IsBmsonName("song_A.BMSON"));
    EXPECT_FALSE(IsBmsonName(".bmson"));
    EXPECT_FALSE(IsBmsonName("song.bms"));
}

}  // namespace
}  // namespace tamboro
