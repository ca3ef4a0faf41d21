// The window's layout on resize, its Tab order, the minimised window's icon,
// and folder drop, on the offscreen platform with real widgets.
#include <QDropEvent>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSemaphore>
#include <QUrl>

#include "dialog/FindBar.h"
#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "res/resource.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro {
namespace {

using test::MessageBoxWatcher;
using test::TestTree;
using test::WaitUntil;

// The order in which Tab visits the four controls, starting at `first`.
QList<QWidget*> TabChain(CTamboroDlg& dlg, QWidget* first)
{
    const QList<QWidget*> controls = {CTamboroDlgTesting::PathEdit(dlg), CTamboroDlgTesting::List(dlg),
                                      CTamboroDlgTesting::SearchButton(dlg), CTamboroDlgTesting::StopButton(dlg)};
    QList<QWidget*> chain;
    QWidget* widget = first;
    for (int steps = 0; steps < 64 && chain.size() < controls.size(); ++steps) {
        if (controls.contains(widget) && !chain.contains(widget))
            chain << widget;
        widget = widget->nextInFocusChain();
    }
    return chain;
}

// The four controls from the bottom of the sibling order to the top.
QList<QWidget*> SiblingOrder(CTamboroDlg& dlg)
{
    const QList<QWidget*> controls = {CTamboroDlgTesting::PathEdit(dlg), CTamboroDlgTesting::List(dlg),
                                      CTamboroDlgTesting::SearchButton(dlg), CTamboroDlgTesting::StopButton(dlg)};
    QList<QWidget*> order;
    for (QObject* child : dlg.children()) {
        if (auto* widget = qobject_cast<QWidget*>(child); widget != nullptr && controls.contains(widget))
            order << widget;
    }
    return order;
}

// A drop of these URLs, delivered as the platform delivers one.
bool Drop(CTamboroDlg& dlg, const QList<QUrl>& urls)
{
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dlg, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&dlg, &drop);
    return drop.isAccepted();
}

// A drag from a GTK file manager (URI list and the same as plain text)
// entered, moved and dropped on the child widget under `at` (window
// coordinates), as the platform hands it to that widget.
bool DropOnChildAt(CTamboroDlg& dlg, QPoint at, const QUrl& url)
{
    QMimeData data;
    data.setUrls({url});
    data.setText(url.toString() + QStringLiteral("\r\n"));
    QWidget* child = dlg.childAt(at);
    if (child == nullptr)
        return false;
    const QPoint local = child->mapFrom(&dlg, at);
    QDragEnterEvent enter(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(child, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(child, &move);
    QDropEvent drop(QPointF(local), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(child, &drop);
    return drop.isAccepted();
}

QUrl LocalUrl(const std::string& bytes)
{
    // Percent-encoded bytes, as file managers send names that are not UTF-8.
    return QUrl(QStringLiteral("file://") +
                QString::fromLatin1(QByteArray(bytes.data(), qsizetype(bytes.size())).toPercentEncoding("/")));
}

}  // namespace

class GuiLayoutDropTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;

private slots:
    void init() { m_runtime.Use(); }

    void layoutOfA600By400ClientArea()
    {
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.resize(600, 400);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(dlg.size(), QSize(600, 400));
        QCOMPARE(CTamboroDlgTesting::List(dlg)->geometry(), QRect(0, 0, 600, 376));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->geometry().topLeft(), QPoint(0, 379));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->width(), 410);
        QCOMPARE(CTamboroDlgTesting::SearchButton(dlg)->geometry().topLeft(), QPoint(416, 379));
        QCOMPARE(CTamboroDlgTesting::StopButton(dlg)->geometry().topLeft(), QPoint(510, 379));
        // The Search button starts 6 pixels right of the path box.
        QCOMPARE(CTamboroDlgTesting::SearchButton(dlg)->x() -
                     (CTamboroDlgTesting::PathEdit(dlg)->x() + CTamboroDlgTesting::PathEdit(dlg)->width()),
                 6);

        // Heights of the strip's controls do not change; wider windows widen
        // only the list and the path box.
        const int pathHeight = CTamboroDlgTesting::PathEdit(dlg)->height();
        const QSize searchSize = CTamboroDlgTesting::SearchButton(dlg)->size();
        const QSize stopSize = CTamboroDlgTesting::StopButton(dlg)->size();
        dlg.resize(800, 500);
        QCOMPARE(CTamboroDlgTesting::List(dlg)->geometry(), QRect(0, 0, 800, 476));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->geometry(), QRect(0, 479, 610, pathHeight));
        QCOMPARE(CTamboroDlgTesting::SearchButton(dlg)->geometry(), QRect(QPoint(616, 479), searchSize));
        QCOMPARE(CTamboroDlgTesting::StopButton(dlg)->geometry(), QRect(QPoint(710, 479), stopSize));
    }

    // The path box and both buttons lie wholly inside the client area, at
    // the template's size and after resizes (run once more with
    // QT_SCALE_FACTOR=2 by the test list).
    void bottomStripLiesInsideTheClientArea()
    {
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        for (const QSize size : {dlg.size(), QSize(600, 400), QSize(1000, 700)}) {
            dlg.resize(size);
            QCOMPARE(dlg.size(), size);
            for (QWidget* control : {static_cast<QWidget*>(CTamboroDlgTesting::PathEdit(dlg)),
                                     static_cast<QWidget*>(CTamboroDlgTesting::SearchButton(dlg)),
                                     static_cast<QWidget*>(CTamboroDlgTesting::StopButton(dlg))}) {
                QVERIFY2(dlg.rect().contains(control->geometry()),
                         qPrintable(control->objectName() + QStringLiteral(" at y %1 height %2 in %3")
                                                                .arg(control->y())
                                                                .arg(control->height())
                                                                .arg(dlg.height())));
                // A 14-unit control is as tall as the strip leaves it.
                QCOMPARE(control->height(), 21);
            }
        }
    }

    // Made as small as 120 x 80, the window stops at a size that keeps the
    // path box, both buttons and a few list rows usable with the find bar
    // open; Search still searches.
    void smallestWindowKeepsThePathBoxAndButtonsUsable()
    {
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.resize(120, 80);
        QVERIFY(dlg.width() > 120 && dlg.height() > 80);
        dlg.activateWindow();
        CTamboroDlgTesting::PathEdit(dlg)->setFocus();
        QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(CTamboroDlgTesting::FindBarWidget(dlg)->isVisible());
        QCOMPARE(CTamboroDlgTesting::SearchButton(dlg)->x(), dlg.width() - 184);  // the design's offsets
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->width(), dlg.width() - 190);
        QVERIFY(CTamboroDlgTesting::PathEdit(dlg)->width() >= 100);
        for (QWidget* control : {static_cast<QWidget*>(CTamboroDlgTesting::PathEdit(dlg)),
                                 static_cast<QWidget*>(CTamboroDlgTesting::SearchButton(dlg)),
                                 static_cast<QWidget*>(CTamboroDlgTesting::StopButton(dlg)),
                                 static_cast<QWidget*>(CTamboroDlgTesting::FindBarWidget(dlg))})
            QVERIFY2(dlg.rect().contains(control->geometry()), qPrintable(control->objectName()));
        ResultListView* list = CTamboroDlgTesting::List(dlg);
        QVERIFY(list->height() >= list->header()->height() + 2 * list->fontMetrics().height());

        test::TestTree tree;
        tree.WriteChart("R/a.bms", "g", "t", "a");
        QTest::keyClick(CTamboroDlgTesting::FindBarWidget(dlg)->TextBox(), Qt::Key_Escape);
        CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(tree.Path("R")));
        // Through the window: the click goes to the widget under the point.
        QTest::mouseClick(dlg.windowHandle(), Qt::LeftButton, Qt::NoModifier,
                          CTamboroDlgTesting::SearchButton(dlg)->geometry().center());
        QVERIFY(CTamboroDlgTesting::LastSearchThreadId(dlg) != 0);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(test::WaitUntil([&] { return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended; }));
    }

    void narrowWindowsGiveThePathBoxNoWidth()
    {
        CTamboroDlg dlg;
        dlg.setMinimumSize(0, 0);
        dlg.show();
        dlg.resize(150, 100);
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->width(), 0);
        QCOMPARE(CTamboroDlgTesting::SearchButton(dlg)->x(), 150 - 184);
        QCOMPARE(CTamboroDlgTesting::StopButton(dlg)->x(), 150 - 90);
        QCOMPARE(CTamboroDlgTesting::List(dlg)->geometry(), QRect(0, 0, 150, 76));
    }

    // Placing brings each control to the top of the sibling order and the
    // front of the Tab order: list, path box, Search, Stop in turn.
    void tabAndSiblingOrderBeforeAndAfterTheFirstLayout()
    {
        CTamboroDlg dlg;
        QCOMPARE(TabChain(dlg, CTamboroDlgTesting::PathEdit(dlg)),
                 QList<QWidget*>({CTamboroDlgTesting::PathEdit(dlg), CTamboroDlgTesting::List(dlg),
                                  CTamboroDlgTesting::SearchButton(dlg), CTamboroDlgTesting::StopButton(dlg)}));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QCOMPARE(TabChain(dlg, CTamboroDlgTesting::StopButton(dlg)),
                 QList<QWidget*>({CTamboroDlgTesting::StopButton(dlg), CTamboroDlgTesting::SearchButton(dlg),
                                  CTamboroDlgTesting::PathEdit(dlg), CTamboroDlgTesting::List(dlg)}));
        QCOMPARE(SiblingOrder(dlg),
                 QList<QWidget*>({CTamboroDlgTesting::List(dlg), CTamboroDlgTesting::PathEdit(dlg),
                                  CTamboroDlgTesting::SearchButton(dlg), CTamboroDlgTesting::StopButton(dlg)}));
        // Tab from the path box goes to the list, then round to Search.
        dlg.activateWindow();
        CTamboroDlgTesting::PathEdit(dlg)->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(CTamboroDlgTesting::List(dlg)));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(CTamboroDlgTesting::SearchButton(dlg)));
    }

    void placingAControlThatDoesNotExistDoesNothing()
    {
        CTamboroDlg dlg;
        const QRect before = CTamboroDlgTesting::List(dlg)->geometry();
        WindowLayout::ClientRect rc{0, 0, 600, 400};
        CTamboroDlgTesting::Place(dlg, rc, {4242, WindowLayout::Anchor::Anchored, -184, -21, 0, 0});
        CTamboroDlgTesting::Place(dlg, rc, {4242, WindowLayout::Anchor::Stretched, 0, -21, -190, 0});
        CTamboroDlgTesting::Place(dlg, rc, {4242, WindowLayout::Anchor::Fill, 0, 0, 0, -24});
        QCOMPARE(CTamboroDlgTesting::List(dlg)->geometry(), before);
        QCOMPARE(CTamboroDlgTesting::LayoutControl(dlg, 4242), nullptr);
        QCOMPARE(CTamboroDlgTesting::LayoutControl(dlg, IDC_LIST),
                 static_cast<QWidget*>(CTamboroDlgTesting::List(dlg)));
    }

    // Minimised: a zero client area, and the icon drawn in the middle;
    // restored: the whole layout again.
    void minimisedWindowShowsItsIconAndRestoresItsLayout()
    {
        CTamboroDlg dlg;
        dlg.resize(600, 400);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.setWindowState(Qt::WindowMinimized);
        QVERIFY(dlg.isMinimized());
        QCOMPARE(CTamboroDlgTesting::List(dlg)->size(), QSize(0, 0));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->width(), 0);

        const QImage shot = dlg.grab().toImage();
        const QImage icon = CTamboroDlgTesting::OnQueryDragIcon(dlg).pixmap(32, 32).toImage();
        QVERIFY(!icon.isNull());
        const int x = (dlg.width() - 32 + 1) / 2;
        const int y = (dlg.height() - 32 + 1) / 2;
        // The drum's head at the icon's centre, and the plain background
        // far from it.
        QCOMPARE(shot.pixelColor(x + 16, y + 20).rgb(), icon.pixelColor(16, 20).rgb());
        QVERIFY(shot.pixelColor(x + 16, y + 20) != shot.pixelColor(2, 2));

        dlg.setWindowState(Qt::WindowNoState);
        QVERIFY(!dlg.isMinimized());
        QCOMPARE(CTamboroDlgTesting::List(dlg)->geometry(), QRect(0, 0, 600, 376));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->width(), 410);
    }

    void dropOfThreeFoldersTakesTheFirst()
    {
        TestTree tree;
        tree.MakeFolder("one");
        tree.MakeFolder("two");
        tree.MakeFolder("three");
        CTamboroDlg dlg;
        QVERIFY(Drop(dlg, {QUrl::fromLocalFile(QString::fromStdString(tree.Path("one"))),
                           QUrl::fromLocalFile(QString::fromStdString(tree.Path("two"))),
                           QUrl::fromLocalFile(QString::fromStdString(tree.Path("three")))}));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), QString::fromStdString(tree.Path("one")));
        QVERIFY(dlg.acceptDrops());
        // Dropping never starts a search.
        QCOMPARE(CTamboroDlgTesting::LastSearchThreadId(dlg), WorkerThread::Id(0));
    }

    // Dropped on the path box (after its text, where the cursor is) or on
    // the list, the folder's path replaces the path box's text.
    void dropOnThePathBoxOrTheListReplacesThePath()
    {
        TestTree tree;
        tree.MakeFolder("R");
        const QString path = QString::fromStdString(tree.Path("R"));
        CTamboroDlg dlg;
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        for (QWidget* target : {static_cast<QWidget*>(CTamboroDlgTesting::PathEdit(dlg)),
                                static_cast<QWidget*>(CTamboroDlgTesting::List(dlg))}) {
            CTamboroDlgTesting::PathEdit(dlg)->setText(QStringLiteral("old"));
            CTamboroDlgTesting::PathEdit(dlg)->setFocus();
            CTamboroDlgTesting::PathEdit(dlg)->end(false);
            const QPoint at = target->mapTo(&dlg, QPoint(target->width() - 8, target->height() / 2));
            QVERIFY(DropOnChildAt(dlg, at, QUrl::fromLocalFile(path)));
            QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), path);
        }
    }

    void dropOfAFileTakesItsPath()
    {
        TestTree tree;
        tree.WriteChart("song.bms", "g", "t", "a");
        CTamboroDlg dlg;
        QVERIFY(Drop(dlg, {QUrl::fromLocalFile(QString::fromStdString(tree.Path("song.bms")))}));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), QString::fromStdString(tree.Path("song.bms")));
    }

    void nonLocalItemsAreIgnored()
    {
        TestTree tree;
        CTamboroDlg dlg;
        CTamboroDlgTesting::PathEdit(dlg)->setText(QStringLiteral("kept"));
        QVERIFY(!Drop(dlg, {QUrl(QStringLiteral("https://example.org/charts/"))}));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), QStringLiteral("kept"));
        QVERIFY(Drop(dlg, {QUrl(QStringLiteral("https://example.org/charts/")),
                           QUrl::fromLocalFile(QString::fromStdString(tree.Root()))}));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), QString::fromStdString(tree.Root()));
    }

    // A folder named in Shift-JIS shows decoded, and a search of the
    // dropped path still finds it by its own bytes.
    void droppedShiftJisFolderIsShownDecodedAndSearchedByItsBytes()
    {
        TestTree tree;
        const std::string folder = tree.Path("\x83\x5c\x83\x74\x83\x67");  // ソフト
        tree.WriteChart("\x83\x5c\x83\x74\x83\x67/x.bms", "g", "t", "a");
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        QVERIFY(Drop(dlg, {LocalUrl(folder)}));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(),
                 QString::fromStdString(tree.Root()) + QStringLiteral("/ソフト"));
        QCOMPARE(CTamboroDlgTesting::PathBytes(dlg), folder);
        CTamboroDlgTesting::OnButtonSearch(dlg);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended; }));
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->rowCount(), 1);
        // Typing over it searches the typed text again.
        CTamboroDlgTesting::PathEdit(dlg)->setText(QStringLiteral("/typed/ソ"));
        QCOMPARE(CTamboroDlgTesting::PathBytes(dlg), std::string("/typed/\xE3\x82\xBD"));
    }

    // A drop while a search runs replaces the path box's text only.
    void dropDuringASearchLeavesTheSearchAlone()
    {
        TestTree tree;
        tree.WriteChart("R/a.bms", "g", "first", "a");
        tree.WriteChart("Other/b.bms", "g", "other", "a");
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
        QSemaphore gate;
        CTamboroDlgTesting::SetWorkerStartHook(dlg, [&gate] { gate.acquire(); });
        CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(tree.Path("R")));
        CTamboroDlgTesting::OnButtonSearch(dlg);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(Drop(dlg, {QUrl::fromLocalFile(QString::fromStdString(tree.Path("Other")))}));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), QString::fromStdString(tree.Path("Other")));
        QCOMPARE(CTamboroDlgTesting::LastSearchThreadId(dlg), id);
        gate.release();
        QVERIFY(WaitUntil([&] { return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended; }));
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->rowCount(), 1);
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->CellText(0, 2), QStringLiteral("first"));
    }

    // A buffer that cannot be had in full: the message, the path box kept,
    // and later drops accepted again.
    void shortAllocationIsReportedAndDropsComeBack()
    {
        TestTree tree;
        tree.MakeFolder("abc");
        const std::string path = tree.Path("abc");
        CTamboroDlg dlg;
        dlg.show();
        CTamboroDlgTesting::PathEdit(dlg)->setText(QStringLiteral("before"));
        std::size_t asked = 0;
        CTamboroDlgTesting::SetDropBufferAllocator(dlg, [&asked](std::size_t wanted, std::size_t& obtained) {
            asked = wanted;
            obtained = wanted / 2;
            return std::make_unique<char[]>(obtained);
        });
        MessageBoxWatcher watcher;
        QVERIFY(Drop(dlg, {QUrl::fromLocalFile(QString::fromStdString(path))}));
        QCOMPARE(asked, path.size() + 1);
        QCOMPARE(watcher.seen.size(), std::size_t(1));
        QCOMPARE(watcher.seen[0].caption, QStringLiteral("エラー"));
        QCOMPARE(watcher.seen[0].text, QStringLiteral("メモリ不足です。\n%1 < %2").arg(asked / 2).arg(asked));
        QCOMPARE(watcher.seen[0].owner, static_cast<QWidget*>(&dlg));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), QStringLiteral("before"));
        QVERIFY(dlg.acceptDrops());

        CTamboroDlgTesting::SetDropBufferAllocator(dlg, {});
        QVERIFY(Drop(dlg, {QUrl::fromLocalFile(QString::fromStdString(path))}));
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), QString::fromStdString(path));
        QCOMPARE(watcher.seen.size(), std::size_t(1));
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiLayoutDropTest)
#include "GuiLayoutDropTest.moc"
