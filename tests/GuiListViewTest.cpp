// The result list driven as a person drives it: keys that move between
// rows, typing the start of a folder, header labels and cells too narrow for
// their text, and the tooltip of a cut cell.
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QPaintEngine>
#include <QPushButton>
#include <QToolTip>

#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro {
namespace {

using test::TestTree;
using test::WaitUntil;

// A paint device that keeps the text drawn on it, in drawing order.
class TextRecorder : public QPaintEngine {
public:
    TextRecorder() : QPaintEngine(QPaintEngine::AllFeatures) {}
    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState&) override {}
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}
    void drawTextItem(const QPointF&, const QTextItem& item) override { text += item.text(); }
    void drawPath(const QPainterPath&) override {}
    Type type() const override { return QPaintEngine::User; }
    QString text;
};
class TextDevice : public QPaintDevice {
public:
    QPaintEngine* paintEngine() const override { return &engine; }
    mutable TextRecorder engine;

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return 2000;
        case PdmHeight:
            return 200;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(metric);
        }
    }
};

// The text one header section shows.
QString DrawnLabel(QHeaderView* header, int column)
{
    TextDevice device;
    const QRect section(header->sectionViewportPosition(column), 0, header->sectionSize(column), header->height());
    header->viewport()->render(&device, QPoint(), QRegion(section));
    return device.engine.text;
}

void Search(CTamboroDlg& dlg, const std::string& root)
{
    CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(root));
    QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
    const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
    QVERIFY(WaitUntil([id] { return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended; }));
}

QPoint CellCentre(ResultListView* list, int row, int column)
{
    return list->visualRect(list->model()->index(row, column)).center();
}

int CurrentRow(ResultListView* list)
{
    return list->currentIndex().row();
}

QList<int> SelectedRows(ResultListView* list)
{
    QList<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedRows())
        rows << index.row();
    return rows;
}

}  // namespace

class GuiListViewTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;

private slots:
    void init() { m_runtime.Use(); }

    // Home and End go to the first and last row, PageDown moves down by
    // rows, and typed text finds a row by its folder, wherever the click was.
    void keysMoveBetweenRowsAndTypingFindsAFolder()
    {
        TestTree tree;
        for (const char* name : {"Alpha", "Bravo", "Charlie", "Delta", "Echo"})
            tree.WriteChart(std::string("R/") + name + "/x.bms", "g", std::string("title ") + name, "a");
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Search(dlg, tree.Path("R"));
        ResultListView* list = CTamboroDlgTesting::List(dlg);
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->rowCount(), 5);

        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(list, 2, 2));
        QCOMPARE(CurrentRow(list), 2);
        QTest::keyClick(list, Qt::Key_End);
        QCOMPARE(CurrentRow(list), 4);
        QCOMPARE(SelectedRows(list), QList<int>({4}));
        QTest::keyClick(list, Qt::Key_Home);
        QCOMPARE(CurrentRow(list), 0);
        QCOMPARE(SelectedRows(list), QList<int>({0}));
        QTest::keyClick(list, Qt::Key_PageDown);
        QCOMPARE(CurrentRow(list), 4);

        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, CellCentre(list, 0, 3));
        QTest::keyClicks(list, QString::fromStdString(tree.Path("R/Ch")));
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->CellText(CurrentRow(list), 2), QStringLiteral("title Charlie"));
        QCOMPARE(SelectedRows(list), QList<int>({CurrentRow(list)}));
    }

    // A sort label wider than its column ends in an ellipsis; one that fits
    // is drawn whole.
    void headerLabelsThatDoNotFitEndInAnEllipsis()
    {
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QHeaderView* header = CTamboroDlgTesting::List(dlg)->header();
        header->resizeSection(1, 60);
        const QPoint at(header->sectionViewportPosition(1) + 30, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->headerData(1, Qt::Horizontal).toString(),
                 QStringLiteral("ジャンル(Alphabetic)"));
        const QString cut = DrawnLabel(header, 1);
        QVERIFY2(cut.startsWith(QStringLiteral("ジ")) && cut.endsWith(QChar(0x2026)), qPrintable(cut));
        QCOMPARE(DrawnLabel(header, 2), QStringLiteral("タイトル"));
    }

    // Hovering a cut cell shows its whole text; a cell that fits shows none.
    void cutCellShowsItsWholeTextAsTooltip()
    {
        const std::string longTitle(120, 'W');
        TestTree tree;
        tree.WriteChart("R/A/x.bms", "g", "short", "a");
        tree.WriteChart("R/x.bms", "g", longTitle, "a");
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        Search(dlg, tree.Path("R"));
        ResultListView* list = CTamboroDlgTesting::List(dlg);
        auto hover = [list](int row) {
            const QPoint at = CellCentre(list, row, 2);
            QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(list->viewport(), &help);
        };
        hover(0);
        QVERIFY(!QToolTip::isVisible());
        hover(1);
        QVERIFY(QToolTip::isVisible());
        QCOMPARE(QToolTip::text(), QString::fromStdString(longTitle));
        QToolTip::hideText();
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiListViewTest)
#include "GuiListViewTest.moc"
