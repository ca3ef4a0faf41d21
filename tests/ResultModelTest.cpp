// The result list's model: batches, decoded display text, header labels and
// sorting as views see it.
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QPersistentModelIndex>
#include <QSignalSpy>

#include <memory>
#include <string>
#include <vector>

#include "models/ResultModel.h"
#include "tests/support/MakeRow.h"

namespace tamboro {
namespace {

using test::MakeRow;

// Appends one batch of rows (folder, title) numbered on from the model's rows.
void AppendBatch(ResultModel& model, const std::vector<std::pair<std::string, std::string>>& rows)
{
    std::vector<ChartRow> batch;
    for (const auto& [folder, title] : rows)
        batch.push_back(MakeRow(folder, "genre", title, "artist",
                                static_cast<uint32_t>(model.RowCountTotal() + static_cast<int>(batch.size()))));
    model.AppendRows(batch);
}

std::vector<QString> Column(const ResultModel& model, int column)
{
    std::vector<QString> out;
    for (int row = 0; row < model.rowCount(); ++row)
        out.push_back(model.data(model.index(row, column)).toString());
    return out;
}

class ResultModelTest : public ::testing::Test {
protected:
    ResultModelTest()
        : m_model(Collator("ja")), m_tester(&m_model, QAbstractItemModelTester::FailureReportingMode::Fatal)
    {}

    ResultModel m_model;
    QAbstractItemModelTester m_tester;  // checks every change against the model rules
};

TEST_F(ResultModelTest, OneInsertPerBatchWithWholeRows)
{
    QSignalSpy aboutToInsert(&m_model, &QAbstractItemModel::rowsAboutToBeInserted);
    QSignalSpy inserted(&m_model, &QAbstractItemModel::rowsInserted);
    // Whatever listens to rowsInserted sees complete rows.
    std::vector<QString> seenTitles;
    QObject::connect(&m_model, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
        for (int row = first; row <= last; ++row)
            seenTitles.push_back(m_model.data(m_model.index(row, kColumnTitle)).toString());
    });

    AppendBatch(m_model, {{"/a/", "one"}, {"/a/", "two"}, {"/a/", "three"}});
    std::vector<ChartRow> empty;
    m_model.AppendRows(empty);  // an empty folder inserts nothing
    AppendBatch(m_model, {{"/b/", "four"}});

    ASSERT_EQ(inserted.count(), 2);
    EXPECT_EQ(aboutToInsert.count(), 2);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 2);
    EXPECT_EQ(inserted[1][1].toInt(), 3);
    EXPECT_EQ(inserted[1][2].toInt(), 3);
    EXPECT_EQ(seenTitles, (std::vector<QString>{"one", "two", "three", "four"}));
    EXPECT_EQ(m_model.rowCount(), 4);
    EXPECT_EQ(m_model.columnCount(), kAllColumnCount);
    EXPECT_EQ(m_model.rowCount(m_model.index(0, 0)), 0);  // a table: rows have no children
    EXPECT_EQ(m_model.RowAt(3).index, 3u);
}

TEST_F(ResultModelTest, ShowsDecodedTextLeftAligned)
{
    std::vector<ChartRow> batch;
    // Shift-JIS values (one decision for the row), a folder with a UTF-8
    // and a Shift-JIS component, and a UTF-8 row with a byte-order mark.
    batch.push_back(MakeRow("/lib/\xE6\x9B\xB2/\x83\x41/", "\x83\x51\x81\x5B\x83\x80", "\x8A\xBF\x8E\x9A", "abc", 0));
    batch.push_back(MakeRow("/lib/", "\xEF\xBB\xBFpop", "\xE3\x81\x82", "x", 1));
    m_model.AppendRows(batch);

    EXPECT_EQ(m_model.data(m_model.index(0, 0)).toString(), QString::fromUtf8("/lib/曲/ア/"));
    EXPECT_EQ(m_model.data(m_model.index(0, 1)).toString(), QString::fromUtf8("ゲーム"));
    EXPECT_EQ(m_model.data(m_model.index(0, 2)).toString(), QString::fromUtf8("漢字"));
    EXPECT_EQ(m_model.data(m_model.index(0, 3)).toString(), QString::fromUtf8("abc"));
    EXPECT_EQ(m_model.data(m_model.index(1, 1)).toString(), QString::fromUtf8("pop"));
    EXPECT_EQ(m_model.data(m_model.index(1, 2)).toString(), QString::fromUtf8("あ"));
    EXPECT_EQ(m_model.CellText(1, 0), QString::fromUtf8("/lib/"));
    EXPECT_EQ(m_model.CellBytes(0, 2), "\x8A\xBF\x8E\x9A");  // bytes kept as found

    const int alignment = m_model.data(m_model.index(0, 2), Qt::TextAlignmentRole).toInt();
    EXPECT_TRUE(alignment & Qt::AlignLeft);
    EXPECT_FALSE(m_model.data(m_model.index(0, 2), Qt::EditRole).isValid());
    EXPECT_FALSE(m_model.data(m_model.index(2, 0)).isValid());
}

TEST_F(ResultModelTest, HeaderLabelsAreStoredAndSuffixed)
{
    QSignalSpy changed(&m_model, &QAbstractItemModel::headerDataChanged);
    const QString title = QString::fromUtf8("タイトル");
    m_model.SetHeaderLabel(kColumnTitle, title);
    EXPECT_TRUE(m_model.setHeaderData(kColumnFolder, Qt::Horizontal, QString::fromUtf8("ディレクトリ")));
    EXPECT_FALSE(m_model.setHeaderData(kAllColumnCount, Qt::Horizontal, QStringLiteral("x")));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(m_model.headerData(kColumnTitle, Qt::Horizontal).toString(), title);
    EXPECT_EQ(m_model.HeaderLabel(kColumnFolder), QString::fromUtf8("ディレクトリ"));

    EXPECT_EQ(ResultModel::SortedHeaderLabel(title, kSortAscending), QString::fromUtf8("タイトル(Alphabetic)"));
    EXPECT_EQ(ResultModel::SortedHeaderLabel(title, kSortDescending), QString::fromUtf8("タイトル(Reverse)"));
    EXPECT_EQ(ResultModel::SortedHeaderLabel(title, kSortFound), QString::fromUtf8("タイトル "));

    // Clearing the rows keeps the labels.
    m_model.Clear();
    EXPECT_EQ(m_model.HeaderLabel(kColumnTitle), title);
}

TEST_F(ResultModelTest, SortIsOneLayoutChangeAndSelectionFollowsRows)
{
    AppendBatch(m_model, {{"/", "d"}, {"/", "b"}, {"/", "a"}, {"/", "c"}});
    QItemSelectionModel selection(&m_model);
    selection.select(m_model.index(0, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);  // "d"
    selection.select(m_model.index(2, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);  // "a"
    selection.setCurrentIndex(m_model.index(1, 2), QItemSelectionModel::NoUpdate);                   // "b"
    const QPersistentModelIndex held(m_model.index(3, 2));                                           // "c"

    // Texts seen before the sort come from the cache afterwards: they must
    // still belong to their rows.
    ASSERT_EQ(Column(m_model, kColumnTitle), (std::vector<QString>{"d", "b", "a", "c"}));

    QSignalSpy layout(&m_model, &QAbstractItemModel::layoutChanged);
    QSignalSpy reset(&m_model, &QAbstractItemModel::modelReset);
    m_model.SortRows(kColumnTitle, kSortAscending);
    EXPECT_EQ(layout.count(), 1);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(Column(m_model, kColumnTitle), (std::vector<QString>{"a", "b", "c", "d"}));

    EXPECT_EQ(held.row(), 2);
    EXPECT_EQ(held.data().toString(), "c");
    EXPECT_EQ(selection.currentIndex().row(), 1);
    std::vector<QString> selected;
    for (const QModelIndex& index : selection.selectedRows(kColumnTitle))
        selected.push_back(index.data().toString());
    std::sort(selected.begin(), selected.end());
    EXPECT_EQ(selected, (std::vector<QString>{"a", "d"}));
    EXPECT_TRUE(selection.isRowSelected(0, QModelIndex()));
    EXPECT_TRUE(selection.isRowSelected(3, QModelIndex()));
}

TEST_F(ResultModelTest, AscendingDescendingFoundCycleWithJapaneseTitles)
{
    // Shift-JIS: か, ア, 漢字, い and UTF-8 "apple".
    AppendBatch(m_model,
                {{"/", "\x82\xA9"}, {"/", "\x83\x41"}, {"/", "\x8A\xBF\x8E\x9A"}, {"/", "\x82\xA2"}, {"/", "apple"}});
    const std::vector<QString> found = Column(m_model, kColumnTitle);
    const std::vector<QString> ascending = {"apple", QString::fromUtf8("ア"), QString::fromUtf8("い"),
                                            QString::fromUtf8("か"), QString::fromUtf8("漢字")};
    for (int round = 0; round < 2; ++round) {
        m_model.SortRows(kColumnTitle, kSortAscending);
        EXPECT_EQ(Column(m_model, kColumnTitle), ascending);
        m_model.SortRows(kColumnTitle, kSortDescending);
        EXPECT_EQ(Column(m_model, kColumnTitle), std::vector<QString>(ascending.rbegin(), ascending.rend()));
        m_model.SortRows(kColumnTitle, kSortFound);
        EXPECT_EQ(Column(m_model, kColumnTitle), found);
    }
}

// Rows come in at the end, then take their places in the sorted order in
// one layout change.
TEST_F(ResultModelTest, RowsAppendedAfterASortJoinTheSortedOrder)
{
    AppendBatch(m_model, {{"/b/", "2"}, {"/b/", "0"}});
    m_model.SortRows(kColumnTitle, kSortAscending);
    QSignalSpy inserted(&m_model, &QAbstractItemModel::rowsInserted);
    QSignalSpy moved(&m_model, &QAbstractItemModel::layoutChanged);
    AppendBatch(m_model, {{"/a/", "1"}});
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 2);
    EXPECT_EQ(moved.count(), 1);
    EXPECT_EQ(Column(m_model, kColumnTitle), (std::vector<QString>{"0", "1", "2"}));
    EXPECT_EQ(m_model.RowAt(1).index, 2u);

    m_model.SortRows(kColumnFolder, kSortAscending);
    EXPECT_EQ(Column(m_model, kColumnTitle), (std::vector<QString>{"1", "2", "0"}));
    m_model.SortRows(kColumnFolder, kSortFound);
    EXPECT_EQ(Column(m_model, kColumnTitle), (std::vector<QString>{"2", "0", "1"}));
}

TEST_F(ResultModelTest, ClearResetsRowsTextsAndKeys)
{
    AppendBatch(m_model, {{"/old/", "b"}, {"/old/", "a"}});
    (void)Column(m_model, kColumnTitle);  // fills the text cache
    m_model.SortRows(kColumnTitle, kSortAscending);

    QSignalSpy reset(&m_model, &QAbstractItemModel::modelReset);
    m_model.Clear();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(m_model.rowCount(), 0);

    AppendBatch(m_model, {{"/new/", "x"}, {"/new/", "y"}});
    EXPECT_EQ(Column(m_model, kColumnTitle), (std::vector<QString>{"x", "y"}));
    EXPECT_EQ(Column(m_model, kColumnFolder), (std::vector<QString>{"/new/", "/new/"}));
    m_model.SortRows(kColumnTitle, kSortDescending);
    EXPECT_EQ(Column(m_model, kColumnTitle), (std::vector<QString>{"y", "x"}));
}

}  // namespace
}  // namespace tamboro
