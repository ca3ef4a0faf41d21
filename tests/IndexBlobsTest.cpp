// What the index keeps in its blobs comes back exactly, and a blob that is
// cut, changed in any byte or read for another chart or folder is refused.
#include <gtest/gtest.h>

#include <dirent.h>
#include <string>
#include <vector>

#include "library/IndexBlobs.h"

namespace tamboro {
namespace {

TEST(IndexBlobs, ValuesComeBackAndDamageIsRefused)
{
    TagTable values;
    values.Value(TagOf("#TITLE ")) = std::string(200, 't') + "\x82\xa0";
    values.Value(TagOf("#ARTIST ")) = "a";
    const std::string blob = EncodeValues(values, "key");
    TagTable read;
    ASSERT_TRUE(DecodeValues(blob, "key", read));
    EXPECT_EQ(read.Values(), values.Values());
    EXPECT_FALSE(DecodeValues(blob, "other key", read));
    for (std::size_t cut = 0; cut < blob.size(); ++cut)
        EXPECT_FALSE(DecodeValues(blob.substr(0, cut), "key", read)) << cut;
    for (std::size_t at = 0; at < blob.size(); ++at) {
        std::string changed = blob;
        changed[at] = static_cast<char>(changed[at] ^ 0x10);
        EXPECT_FALSE(DecodeValues(changed, "key", read)) << at;
    }
}

TEST(IndexBlobs, ListingKeepsOrderAndTypesAndRefusesWhatNoFolderHolds)
{
    DirectoryListing folder;
    folder.AddEntry("song.wav", DT_REG);  // no chart: left out
    folder.AddEntry("b.BMS", DT_REG);
    folder.AddEntry("sub", DT_DIR);
    folder.AddEntry("link", DT_LNK);
    folder.AddEntry("a.bms", DT_UNKNOWN);
    const std::string blob = EncodeListing(folder, ChartTypes(), "path");
    DirectoryListing read;
    ASSERT_TRUE(DecodeListing(blob, "path", read));
    std::vector<std::string> names;
    std::vector<int> types;
    for (const auto& entry : read.Entries()) {
        names.emplace_back(read.NameOf(entry));
        types.push_back(entry.type);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"b.BMS", "sub", "link", "a.bms"}));
    EXPECT_EQ(types, (std::vector<int>{DT_REG, DT_DIR, DT_LNK, DT_UNKNOWN}));
    EXPECT_FALSE(DecodeListing(blob, "other path", read));
    EXPECT_FALSE(DecodeListing(blob.substr(0, blob.size() - 1), "path", read));
    for (const char* name : {"..", ".", "a/b"}) {
        DirectoryListing odd;
        odd.AddEntry(name, DT_DIR);
        DirectoryListing none;
        EXPECT_FALSE(DecodeListing(EncodeListing(odd, ChartTypes(), "p"), "p", none)) << name;
        EXPECT_TRUE(none.Entries().empty());
    }
}

TEST(IndexBlobs, ChartsComeBackAndACutBlobIsRefused)
{
    std::vector<KeptChart> charts(2);
    charts[0] = {"a.bms", {1, 2, 3, -4, 5'000'000'000'000'000'000}, "values", HexToBytes("00ff"), ""};
    charts[1] = {"b.bms", {~0ull, 7, 0, 8, 9}, "", "", HexToBytes("abcdef")};
    const std::string blob = EncodeCharts(charts);
    std::vector<KeptChart> read;
    ASSERT_TRUE(DecodeCharts(blob, read));
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].stamp, charts[0].stamp);
    EXPECT_EQ(read[1].stamp, charts[1].stamp);
    EXPECT_EQ(BytesToHex(read[0].md5), "00ff");
    EXPECT_EQ(BytesToHex(read[1].sha256), "abcdef");
    EXPECT_EQ(read[0].values, "values");
    // Cut between two charts, the first still comes back whole; cut
    // anywhere else, nothing does.
    for (std::size_t cut = 1; cut < blob.size(); ++cut) {
        const bool whole = DecodeCharts(blob.substr(0, cut), read);
        EXPECT_TRUE(!whole || (read.size() == 1 && read[0].name == "a.bms")) << cut;
    }
}

}  // namespace
}  // namespace tamboro
