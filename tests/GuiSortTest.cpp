// Clicks on the list's column headers in the real window: the modes they
// cycle through, the header labels, the previous column's plain title, a new
// search resetting the labels, and sorting while a search still adds rows.
#include <QHeaderView>
#include <QLineEdit>
#include <algorithm>

#include "dialog/FindBar.h"

#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro {
namespace {

using test::TestTree;
using test::WaitUntil;

void ClickHeader(CTamboroDlg& dlg, int column)
{
    QHeaderView* header = CTamboroDlgTesting::List(dlg)->header();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

QString Label(CTamboroDlg& dlg, int column)
{
    return CTamboroDlgTesting::Model(dlg)->headerData(column, Qt::Horizontal).toString();
}

// The texts of one column as the list shows them (through the find bar's
// filter), top to bottom.
QStringList Shown(CTamboroDlg& dlg, int column)
{
    QStringList out;
    QAbstractItemModel* model = CTamboroDlgTesting::List(dlg)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, column).data().toString();
    return out;
}

QStringList Sorted(QStringList texts, bool descending)
{
    std::sort(texts.begin(), texts.end());
    if (descending)
        std::reverse(texts.begin(), texts.end());
    return texts;
}

QStringList Column(CTamboroDlg& dlg, int column)
{
    QStringList out;
    for (int row = 0; row < CTamboroDlgTesting::Model(dlg)->rowCount(); ++row)
        out << CTamboroDlgTesting::Model(dlg)->CellText(row, column);
    return out;
}

bool Ended(WorkerThread::Id id)
{
    return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended;
}

}  // namespace

class GuiSortTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;
    TestTree m_tree;

    void Search(CTamboroDlg& dlg, const std::string& root)
    {
        CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(root));
        CTamboroDlgTesting::OnButtonSearch(dlg);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return Ended(id); }));
    }

private slots:
    void initTestCase()
    {
        m_runtime.Use();
        // Found order: b, then c, then a (subfolders first).
        m_tree.WriteChart("R/S/T/c.bms", "Pop", "Charlie", "Zed");
        m_tree.WriteChart("R/S/b.bms", "Jazz", "Bravo", "Yan");
        m_tree.WriteChart("R/a.bms", "Rock", "alpha", "Xia");
    }

    void clicksOnOneHeaderCycleThroughTheModes()
    {
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Search(dlg, m_tree.Path("R"));
        QCOMPARE(Column(dlg, 2), QStringList({"Charlie", "Bravo", "alpha"}));

        ClickHeader(dlg, 2);
        QCOMPARE(CTamboroDlgTesting::SortColumnOf(dlg), std::optional<ListColumn>(kColumnTitle));
        QCOMPARE(CTamboroDlgTesting::SortModeOf(dlg), kSortAscending);
        QCOMPARE(Label(dlg, 2), QStringLiteral("タイトル(Alphabetic)"));
        QCOMPARE(Column(dlg, 2), QStringList({"alpha", "Bravo", "Charlie"}));

        ClickHeader(dlg, 2);
        QCOMPARE(CTamboroDlgTesting::SortModeOf(dlg), kSortDescending);
        QCOMPARE(Label(dlg, 2), QStringLiteral("タイトル(Reverse)"));
        QCOMPARE(Column(dlg, 2), QStringList({"Charlie", "Bravo", "alpha"}));

        ClickHeader(dlg, 2);
        QCOMPARE(CTamboroDlgTesting::SortModeOf(dlg), kSortFound);
        QCOMPARE(Label(dlg, 2), QStringLiteral("タイトル "));
        QCOMPARE(Column(dlg, 2), QStringList({"Charlie", "Bravo", "alpha"}));
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->RowAt(0).index, 0u);

        ClickHeader(dlg, 2);
        QCOMPARE(CTamboroDlgTesting::SortModeOf(dlg), kSortAscending);
        QCOMPARE(Label(dlg, 2), QStringLiteral("タイトル(Alphabetic)"));

        // Another header: the old one gets its plain title back.
        ClickHeader(dlg, 3);
        QCOMPARE(CTamboroDlgTesting::SortColumnOf(dlg), std::optional<ListColumn>(kColumnArtist));
        QCOMPARE(CTamboroDlgTesting::SortModeOf(dlg), kSortAscending);
        QCOMPARE(Label(dlg, 2), QStringLiteral("タイトル"));
        QCOMPARE(Label(dlg, 3), QStringLiteral("アーティスト(Alphabetic)"));
        QCOMPARE(Column(dlg, 3), QStringList({"Xia", "Yan", "Zed"}));

        // By folder path.
        ClickHeader(dlg, 0);
        const QString root = QString::fromStdString(m_tree.Path("R")) + "/";
        QCOMPARE(Column(dlg, 0), QStringList({root, root + "S/", root + "S/T/"}));
        QCOMPARE(Label(dlg, 3), QStringLiteral("アーティスト"));
        QCOMPARE(Label(dlg, 0), QStringLiteral("ディレクトリ(Alphabetic)"));

        // A new search puts every plain title back and the mode to found
        // order; the sorted column is kept, so its next click sorts ascending.
        Search(dlg, m_tree.Path("R"));
        for (int column = 0; column < 4; ++column)
            QCOMPARE(Label(dlg, column), CTamboroDlgTesting::ColumnTitles(dlg)[static_cast<std::size_t>(column)]);
        QCOMPARE(CTamboroDlgTesting::SortModeOf(dlg), kSortFound);
        QCOMPARE(CTamboroDlgTesting::SortColumnOf(dlg), std::optional<ListColumn>(kColumnFolder));
        ClickHeader(dlg, 0);
        QCOMPARE(CTamboroDlgTesting::SortModeOf(dlg), kSortAscending);
        QCOMPARE(Label(dlg, 0), QStringLiteral("ディレクトリ(Alphabetic)"));
    }

    // Sorting while the worker still adds rows: every row keeps its own
    // texts (each chart's title names its folder), and found order comes
    // back complete at the end.
    void sortingWhileASearchAddsRows()
    {
        TestTree tree;
        constexpr int kFolders = 60;
        for (int i = 0; i < kFolders; ++i) {
            const std::string name = "F" + std::to_string(1000 + i);
            for (int j = 0; j < 3; ++j)
                tree.WriteChart("R/" + name + "/" + std::to_string(j) + ".bms", "g", name, "a" + std::to_string(j));
        }
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        CTamboroDlgTesting::SetWorkerHandOverPeriod(dlg, std::chrono::milliseconds(0));  // every folder on its own
        int clicks = 0;
        int folders = 0;
        QObject::connect(CTamboroDlgTesting::Pending(dlg), &PendingResults::RowsHandedOver, &dlg, [&] {
            if (++folders % 10 == 0) {
                ClickHeader(dlg, (clicks % 2) == 0 ? 2 : 3);
                ++clicks;
            }
        });
        CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(tree.Path("R")));
        CTamboroDlgTesting::OnButtonSearch(dlg);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return Ended(id); }));
        QVERIFY(clicks >= 3);
        ResultModel& model = *CTamboroDlgTesting::Model(dlg);
        QCOMPARE(model.rowCount(), kFolders * 3);
        for (int row = 0; row < model.rowCount(); ++row) {
            const QString folder = model.CellText(row, 0);
            QVERIFY2(folder.endsWith(model.CellText(row, 2) + "/"), qPrintable(folder));
        }
        // Back to found order: a found-order click on the last sorted column.
        while (CTamboroDlgTesting::SortModeOf(dlg) != kSortFound)
            ClickHeader(dlg, *CTamboroDlgTesting::SortColumnOf(dlg));
        for (int row = 0; row < model.rowCount(); ++row)
            QCOMPARE(model.RowAt(row).index, uint32_t(row));
    }

    // Rows found after a header click join the list in the order it shows,
    // in the whole list and among the rows the find bar shows; found order
    // still gives the found order back.
    void rowsFoundAfterAClickJoinTheSortedOrder()
    {
        TestTree tree;
        constexpr int kFolders = 60;
        for (int i = 0; i < kFolders; ++i) {
            // Titles in an order unlike the found one; ASCII digits sort
            // alike in every collation.
            const std::string title = "T" + std::to_string(100 + (i * 37) % kFolders);
            for (int j = 0; j < 2; ++j)
                tree.WriteChart("R/F" + std::to_string(1000 + i) + "/" + std::to_string(j) + ".bms", "g",
                                title + (j == 0 ? " keep" : " drop"), "a");
        }
        for (const bool descending : {false, true}) {
            CTamboroDlg dlg;
            CTamboroDlgTesting::OnInitDialog(dlg);
            dlg.resize(700, 400);
            dlg.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dlg));
            CTamboroDlgTesting::SetWorkerHandOverPeriod(dlg, std::chrono::milliseconds(0));  // every folder on its own
            // While the worker waits in its hand-over: a sort after ten
            // folders, the find bar after twenty.
            int folders = 0;
            QObject::connect(CTamboroDlgTesting::Pending(dlg), &PendingResults::RowsHandedOver, &dlg, [&] {
                if (++folders == 10) {
                    ClickHeader(dlg, 2);
                    if (descending)
                        ClickHeader(dlg, 2);
                } else if (folders == 20) {
                    QTest::keyClick(CTamboroDlgTesting::List(dlg), Qt::Key_F, Qt::ControlModifier);
                    QTest::keyClicks(CTamboroDlgTesting::FindBarWidget(dlg)->TextBox(), QStringLiteral("keep"));
                }
            });
            CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(tree.Path("R")));
            QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
            const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
            QVERIFY(WaitUntil([&] { return Ended(id); }));
            CTamboroDlgTesting::ShowPendingResults(dlg);
            QVERIFY2(CTamboroDlgTesting::Model(dlg)->rowCount() > 0 &&
                         CTamboroDlgTesting::Model(dlg)->rowCount() == 2 * kFolders,
                     "not all rows listed");

            const QStringList all = Column(dlg, 2);
            QCOMPARE(all, Sorted(all, descending));
            QStringList kept;
            for (const QString& title : all)
                if (title.endsWith(QStringLiteral(" keep")))
                    kept << title;
            QCOMPARE(Shown(dlg, 2), kept);
            QCOMPARE(kept.size(), kFolders);
            QTest::keyClick(CTamboroDlgTesting::FindBarWidget(dlg)->TextBox(), Qt::Key_Escape);
            QCOMPARE(Shown(dlg, 2), all);

            while (CTamboroDlgTesting::SortModeOf(dlg) != kSortFound)
                ClickHeader(dlg, 2);
            for (int row = 0; row < CTamboroDlgTesting::Model(dlg)->rowCount(); ++row)
                QCOMPARE(CTamboroDlgTesting::Model(dlg)->RowAt(row).index, uint32_t(row));
        }
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiSortTest)
#include "GuiSortTest.moc"
