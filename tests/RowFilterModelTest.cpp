// Find-as-you-type: folded matching, and the filtering model over the result
// list while rows arrive, the list is sorted, and the filter is cleared.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QSignalSpy>

#include <string>
#include <vector>

#include "models/RowFilterModel.h"
#include "platform/TextFolder.h"
#include "results/FoldedRows.h"
#include "results/RowPrinter.h"
#include "tests/support/MakeRow.h"

namespace tamboro {
namespace {

struct Cells {
    std::string folder, genre, title, artist;
};

void Append(ResultModel& model, const std::vector<Cells>& rows)
{
    std::vector<ChartRow> batch;
    for (const Cells& cells : rows) {
        const auto index = static_cast<uint32_t>(model.RowCountTotal()) + static_cast<uint32_t>(batch.size());
        batch.push_back(test::MakeRow(cells.folder, cells.genre, cells.title, cells.artist, index));
    }
    model.AppendRows(batch);
}

std::vector<QString> Titles(const QAbstractItemModel& model)
{
    std::vector<QString> titles;
    for (int row = 0; row < model.rowCount(); ++row)
        titles.push_back(model.index(row, kColumnTitle).data().toString());
    return titles;
}

std::vector<QString> Q(std::initializer_list<const char*> texts)
{
    std::vector<QString> out;
    for (const char* text : texts)
        out.push_back(QString::fromUtf8(text));
    return out;
}

TEST(TextFolding, CaseWidthAndKanaTypeFoldAlike)
{
    const TextFolder folder;
    const auto fold = [&](const char* utf8) { return folder.Folded(QString::fromUtf8(utf8).toStdU16String()); };
    EXPECT_EQ(fold("SOFLAN"), u"soflan");
    EXPECT_EQ(fold("ｓｏｆｌａｎ"), u"soflan");
    EXPECT_EQ(fold("Ｓｏｆｌａｎ ソ"), u"soflan ソ");
    EXPECT_EQ(fold("そふらん"), fold("ソフラン"));
    EXPECT_EQ(fold("ｿﾌﾗﾝ"), fold("ソフラン"));
    EXPECT_EQ(fold("ﾄﾞﾘｰﾑ"), fold("どりーむ"));  // half-width voiced mark joins its kana
    EXPECT_EQ(fold("STRASSE"), fold("Straße"));
    EXPECT_NE(fold("ソフラン"), fold("ソプラン"));
}

class RowFilterModelTest : public ::testing::Test {
protected:
    RowFilterModelTest()
        : m_model(Collator("ja")), m_filter(&m_model),
          m_tester(&m_filter, QAbstractItemModelTester::FailureReportingMode::Fatal)
    {}

    ResultModel m_model;
    RowFilterModel m_filter;
    QAbstractItemModelTester m_tester;  // checks every change against the model rules
};

TEST_F(RowFilterModelTest, MatchesAnyColumnWhateverCaseWidthOrKana)
{
    Append(m_model, {
                        {"/bms/a/", "TECHNO", "SOFLAN [HYPER]", "x"},
                        {"/bms/b/", "TECHNO", "ｓｏｆｌａｎ", "x"},
                        {"/bms/c/", "J-POP", "\x83\x5C\x83\x74\x83\x89\x83\x93", "x"},  // ソフラン in Shift-JIS
                        {"/bms/d/", "J-POP", "ｿﾌﾗﾝ", "x"},
                        {"/bms/Soflan Pack/", "x", "other", "y"},  // only its folder matches
                        {"/bms/e/", "so", "flan", "z"},            // split over two columns: no match
                        {"/bms/f/", "x", "plain", "artist soflan"},
                    });
    QSignalSpy counts(&m_filter, &RowFilterModel::CountsChanged);

    m_filter.SetFilterText(QStringLiteral("soflan"));
    EXPECT_EQ(Titles(m_filter), Q({"SOFLAN [HYPER]", "ｓｏｆｌａｎ", "other", "plain"}));
    m_filter.SetFilterText(QStringLiteral("ＳＯＦ"));
    EXPECT_EQ(Titles(m_filter), Q({"SOFLAN [HYPER]", "ｓｏｆｌａｎ", "other", "plain"}));
    m_filter.SetFilterText(QStringLiteral("そふらん"));
    EXPECT_EQ(Titles(m_filter), Q({"ソフラン", "ｿﾌﾗﾝ"}));
    m_filter.SetFilterText(QStringLiteral("ﾌﾗﾝ"));
    EXPECT_EQ(Titles(m_filter), Q({"ソフラン", "ｿﾌﾗﾝ"}));
    m_filter.SetFilterText(QStringLiteral("pack"));
    EXPECT_EQ(Titles(m_filter), Q({"other"}));
    m_filter.SetFilterText(QStringLiteral("nothing like it"));
    EXPECT_EQ(m_filter.rowCount(), 0);
    EXPECT_EQ(m_filter.ListedCount(), 7);

    ASSERT_FALSE(counts.isEmpty());
    EXPECT_EQ(counts.last()[0].toInt(), 0);
    EXPECT_EQ(counts.last()[1].toInt(), 7);
}

TEST_F(RowFilterModelTest, EmptyFilterShowsTheListAsItIs)
{
    m_model.SetHeaderLabel(kColumnTitle, QStringLiteral("Title"));
    Append(m_model, {{"/a/", "g", "b", "x"}, {"/a/", "g", "a", "x"}});
    QSignalSpy inserted(&m_filter, &QAbstractItemModel::rowsInserted);
    QSignalSpy layout(&m_filter, &QAbstractItemModel::layoutChanged);
    Append(m_model, {{"/b/", "g", "c", "x"}});
    m_model.SortRows(kColumnTitle, kSortAscending);

    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 2);
    EXPECT_EQ(layout.count(), 1);
    EXPECT_FALSE(m_filter.IsFoldingPrepared());  // unused, it folds nothing
    EXPECT_EQ(Titles(m_filter), Q({"a", "b", "c"}));
    EXPECT_EQ(m_filter.headerData(kColumnTitle, Qt::Horizontal), QStringLiteral("Title"));
    for (int row = 0; row < m_model.rowCount(); ++row)
        for (int column = 0; column < kColumnCount; ++column)
            EXPECT_EQ(m_filter.index(row, column).data(), m_model.index(row, column).data());

    // Blanks that fold to nothing filter nothing; text every row holds
    // hides nothing, and views hear nothing of it.
    m_filter.SetFilterText(QString::fromUtf8("\u00AD"));
    EXPECT_FALSE(m_filter.IsFiltering());
    m_filter.SetFilterText(QStringLiteral("G"));
    EXPECT_TRUE(m_filter.IsFiltering());
    EXPECT_EQ(Titles(m_filter), Q({"a", "b", "c"}));
    EXPECT_EQ(layout.count(), 1);
    m_filter.SetFilterText(QStringLiteral("c"));
    EXPECT_EQ(Titles(m_filter), Q({"c"}));
    EXPECT_EQ(layout.count(), 2);
}

TEST_F(RowFilterModelTest, RowsAppendedWhileFilteredJoinAtTheEnd)
{
    Append(m_model, {{"/a/", "g", "night one", "x"}, {"/a/", "g", "day", "x"}});
    m_filter.SetFilterText(QStringLiteral("NIGHT"));
    QSignalSpy inserted(&m_filter, &QAbstractItemModel::rowsInserted);
    QSignalSpy counts(&m_filter, &RowFilterModel::CountsChanged);

    Append(m_model, {{"/b/", "g", "noon", "x"}, {"/b/", "g", "Night two", "x"}, {"/b/", "g", "ｎｉｇｈｔ three", "x"}});
    Append(m_model, {{"/c/", "g", "dusk", "x"}});  // nothing shown: no insert, counts still change

    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 1);
    EXPECT_EQ(inserted[0][2].toInt(), 2);
    EXPECT_EQ(Titles(m_filter), Q({"night one", "Night two", "ｎｉｇｈｔ three"}));
    ASSERT_EQ(counts.count(), 2);
    EXPECT_EQ(counts[1][0].toInt(), 3);
    EXPECT_EQ(counts[1][1].toInt(), 6);

    // A new search clears the list; rows found then are filtered too.
    m_model.Clear();
    EXPECT_EQ(m_filter.rowCount(), 0);
    Append(m_model, {{"/d/", "g", "midnight", "x"}, {"/d/", "g", "noon", "x"}});
    EXPECT_EQ(Titles(m_filter), Q({"midnight"}));
}

TEST_F(RowFilterModelTest, SortWhileFilteredKeepsSelectionAndClearingShowsAll)
{
    Append(m_model, {{"/a/", "g", "star b", "x"},
                     {"/a/", "g", "moon", "x"},
                     {"/a/", "g", "star c", "x"},
                     {"/a/", "g", "star a", "x"}});
    m_filter.SetFilterText(QStringLiteral("star"));
    QItemSelectionModel selection(&m_filter);
    selection.select(m_filter.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);  // "star c"
    selection.setCurrentIndex(m_filter.index(1, 2), QItemSelectionModel::NoUpdate);

    m_model.SortRows(kColumnTitle, kSortDescending);
    EXPECT_EQ(Titles(m_filter), Q({"star c", "star b", "star a"}));
    EXPECT_EQ(selection.currentIndex().data().toString(), QStringLiteral("star c"));
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(selection.selectedRows()[0].row(), 0);

    // Copying takes shown rows in shown order, as tamboro-scan prints them.
    const QModelIndexList picked = {m_filter.index(2, 1), m_filter.index(0, 3), m_filter.index(2, 0)};
    RowPrinter printer(false);
    std::string expected;
    printer.AppendLine(expected, m_model.RowAt(m_filter.SourcePosition(0)));
    printer.AppendLine(expected, m_model.RowAt(m_filter.SourcePosition(2)));
    EXPECT_EQ(m_filter.RowLines(picked), QString::fromStdString(expected));
    EXPECT_EQ(m_filter.RowLines(picked), QStringLiteral("/a/\tg\tstar c\tx\n/a/\tg\tstar a\tx\n"));

    m_filter.SetFilterText(QString());
    EXPECT_EQ(Titles(m_filter), Q({"star c", "star b", "star a", "moon"}));
    EXPECT_EQ(m_filter.rowCount(), m_model.rowCount());
    EXPECT_EQ(selection.currentIndex().data().toString(), QStringLiteral("star c"));
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(selection.selectedRows()[0].row(), 0);
}

// Many rows are folded on helper threads in blocks; folding the same rows a
// folder at a time must give the same matches.
TEST(FoldedRowsTest, FoldingManyRowsAtOnceMatchesFoldingThemOneByOne)
{
    RowSorter rows;
    std::vector<ChartRow> batch;
    const char* const words[] = {"Star", "ほし", "ホシ", "ｽﾀｰ", "moon", "\x83\x7A\x83\x56"};  // ホシ in Shift-JIS
    for (uint32_t i = 0; i < 12000; ++i) {
        const std::string word = words[i % 6];
        batch.push_back(test::MakeRow("/lib/" + std::to_string(i / 3) + (i % 7 == 0 ? word : "") + "/", "g",
                                      word + std::to_string(i % 10), i % 5 == 0 ? word : "a", i));
    }
    rows.Append(batch);

    FoldedRows atOnce;
    atOnce.Update(rows);
    RowSorter sameRows;
    FoldedRows oneByOne;
    for (uint32_t slot = 0; slot < rows.Size(); ++slot) {
        std::vector<ChartRow> one{rows.RowInSlot(slot)};
        sameRows.Append(one);
        oneByOne.Update(sameRows);
    }
    ASSERT_EQ(atOnce.FoldedCount(), 12000u);
    for (const char* query : {"ほし", "star2", "ﾎｼ3", "lib/66", "moon", "a"}) {
        const std::u16string folded = atOnce.FoldQuery(QString::fromUtf8(query).toStdU16String());
        std::vector<uint8_t> expected, actual;
        oneByOne.Match(folded, expected);
        atOnce.Match(folded, actual);
        EXPECT_EQ(actual, expected) << query;
        EXPECT_GT(std::count(actual.begin(), actual.end(), 1), 0) << query;
    }
}

}  // namespace
}  // namespace tamboro
