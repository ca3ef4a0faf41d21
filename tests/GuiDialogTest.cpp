// The window end to end on the offscreen platform, with real widgets, real
// worker threads and temporary trees: start-up, searching, stopping, the
// watch timer, closing with its exit codes, the shared state block.
#include <QHeaderView>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSemaphore>
#include <QWindow>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dialog/ResultListView.h"
#include "dialog/SearchSession.h"
#include "dialog/TamboroApp.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"
#include "tests/support/WorkerThreadTesting.h"
#include "worker/WorkerThread.h"

namespace tamboro {
namespace {

using test::MessageBoxWatcher;
using test::TestTree;
using test::WaitUntil;

// "タイトル" and the folder name "ソフト" in Shift-JIS; ソ ends in 0x5C.
const std::string kSjisTitle = "\x83\x5e\x83\x43\x83\x67\x83\x8b";
const std::string kSjisFolder = "\x83\x5c\x83\x74\x83\x67";

QStringList RowTexts(const ResultModel& model, int column)
{
    QStringList out;
    for (int row = 0; row < model.rowCount(); ++row)
        out << model.data(model.index(row, column)).toString();
    return out;
}

bool WorkerEnded(WorkerThread::Id id)
{
    return id != 0 && WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended;
}

// A window set up as DoModal sets it up, but shown without a modal loop.
struct ShownDialog {
    ShownDialog()
    {
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.show();
    }
    CTamboroDlg dlg;
};

void TypeAndSearch(CTamboroDlg& dlg, const std::string& root)
{
    CTamboroDlgTesting::PathEdit(dlg)->setFocus();
    CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(root));
    QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
}

}  // namespace

class GuiDialogTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;

private slots:
    void init() { m_runtime.Use(); }

    void startUpShowsTheTemplatesWindow()
    {
        CTamboroDlg dlg;
        // Columns come with the first show, not before.
        QCOMPARE(CTamboroDlgTesting::ColumnTitles(dlg)[0], QString());
        QVERIFY(CTamboroDlgTesting::OnInitDialog(dlg));
        QCOMPARE(CTamboroDlgTesting::SharedState(dlg).Load(), int32_t(SS_IDLE));
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));

        QCOMPARE(dlg.windowTitle(), QStringLiteral("Tamboro"));
        QCOMPARE(CTamboroDlgTesting::SearchButton(dlg)->text(), QStringLiteral("検索(&S)"));
        QCOMPARE(CTamboroDlgTesting::StopButton(dlg)->text(), QStringLiteral("中止(&E)"));
        QVERIFY(CTamboroDlgTesting::SearchButton(dlg)->isDefault());
        QVERIFY(CTamboroDlgTesting::SearchButton(dlg)->isEnabled());
        QVERIFY(!CTamboroDlgTesting::StopButton(dlg)->isEnabled());
        QVERIFY(dlg.acceptDrops());
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), QString());
        QVERIFY(!dlg.windowIcon().isNull());
        QVERIFY(!dlg.windowIcon().pixmap(16, 16).isNull());
        QVERIFY(!dlg.windowIcon().pixmap(32, 32).isNull());

        const QStringList titles = {"ディレクトリ", "ジャンル", "タイトル", "アーティスト"};
        const QList<int> widths = {250, 100, 200, 100};
        QHeaderView* header = CTamboroDlgTesting::List(dlg)->header();
        ResultModel* model = CTamboroDlgTesting::Model(dlg);
        // Four columns shown; the others wait in the header's menu.
        QCOMPARE(CTamboroDlgTesting::List(dlg)->ShownColumns(),
                 (std::vector<ListColumn>{kColumnFolder, kColumnGenre, kColumnTitle, kColumnArtist}));
        QCOMPARE(model->rowCount(), 0);
        for (int column = 0; column < 4; ++column) {
            QCOMPARE(model->headerData(column, Qt::Horizontal).toString(), titles[column]);
            QCOMPARE(CTamboroDlgTesting::ColumnTitles(dlg)[static_cast<std::size_t>(column)], titles[column]);
            // The last column takes the width the others leave, never less
            // than its own.
            if (column < 3)
                QCOMPARE(header->sectionSize(column), widths[column]);
            else
                QVERIFY(header->sectionSize(column) >= widths[column]);
        }
        QCOMPARE(CTamboroDlgTesting::List(dlg)->selectionMode(), QAbstractItemView::ExtendedSelection);
        QVERIFY(!CTamboroDlgTesting::List(dlg)->isSortingEnabled());

        // Hiding and showing again adds nothing.
        dlg.hide();
        dlg.show();
        QCOMPARE(model->columnCount(), kAllColumnCount);
        QCOMPARE(CTamboroDlgTesting::List(dlg)->ShownColumns().size(), std::size_t(4));
        QCOMPARE(model->headerData(3, Qt::Horizontal).toString(), titles[3]);

        // The template's proportions: the window is wider than high, the
        // list takes most of it and the bottom strip holds the rest.
        QVERIFY(dlg.width() > dlg.height());
        QVERIFY(CTamboroDlgTesting::List(dlg)->height() > dlg.height() * 3 / 4);
    }

    void searchFillsTheListInFoundOrderAndSetsTheTitle()
    {
        TestTree tree;
        tree.WriteChart("R/a.bms", "G-top", "Top", "Artist A");
        tree.WriteChart("R/S/b.bms", "G-mid", "Mid", "Artist B");
        tree.WriteChart("R/S/" + kSjisFolder + "/c.bms", "G-deep", kSjisTitle, "Artist C");
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        // Buttons as seen whenever the worker hands rows over.
        bool swappedWhileListing = true;
        QObject::connect(CTamboroDlgTesting::Pending(dlg), &PendingResults::RowsHandedOver, &dlg, [&] {
            swappedWhileListing = swappedWhileListing && !CTamboroDlgTesting::SearchButton(dlg)->isEnabled() &&
                                  CTamboroDlgTesting::StopButton(dlg)->isEnabled();
        });
        TypeAndSearch(dlg, tree.Path("R"));
        QVERIFY(CTamboroDlgTesting::IsTimerRunning(dlg, CTamboroDlg::TIMER_WATCH));
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return WorkerEnded(id); }));

        QVERIFY(swappedWhileListing);
        QVERIFY(CTamboroDlgTesting::SearchButton(dlg)->isEnabled());
        QVERIFY(!CTamboroDlgTesting::StopButton(dlg)->isEnabled());
        QVERIFY(!CTamboroDlgTesting::IsTimerRunning(dlg, CTamboroDlg::TIMER_WATCH));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(14));
        QCOMPARE(CTamboroDlgTesting::SharedState(dlg).Load(), int32_t(SS_IDLE));

        const QString root = QString::fromStdString(tree.Path("R")) + "/";
        ResultModel& model = *CTamboroDlgTesting::Model(dlg);
        QCOMPARE(RowTexts(model, 0), QStringList({root + "S/ソフト/", root + "S/", root}));
        QCOMPARE(RowTexts(model, 1), QStringList({"G-deep", "G-mid", "G-top"}));
        QCOMPARE(RowTexts(model, 2), QStringList({"タイトル", "Mid", "Top"}));
        QCOMPARE(RowTexts(model, 3), QStringList({"Artist C", "Artist B", "Artist A"}));
        QCOMPARE(dlg.windowTitle(), "Tamboro - 3 [" + root + "]");

        // A second search clears the list and finds the same rows again.
        TypeAndSearch(dlg, tree.Path("R/S"));
        const WorkerThread::Id second = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(second != id);
        QVERIFY(WaitUntil([&] { return WorkerEnded(second); }));
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(dlg.windowTitle(), "Tamboro - 2 [" + root + "S/]");
    }

    void enterInThePathBoxSearches()
    {
        TestTree tree;
        tree.WriteChart("x.bms", "g", "t", "a");
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        dlg.activateWindow();
        CTamboroDlgTesting::PathEdit(dlg)->setFocus();
        CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(tree.Root()));
        QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_Return);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(id != 0);
        QVERIFY(WaitUntil([&] { return WorkerEnded(id); }));
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->rowCount(), 1);
    }

    // A second press before the first worker has taken Search away starts
    // no second scan.
    // What a view joining the window sees: every search that starts is
    // framed by SearchStarting, before its worker exists, and SearchEnded,
    // with all it found already listed; a press that starts nothing says
    // nothing.
    void searchesAreFramedForViews()
    {
        TestTree tree;
        tree.WriteChart("R/a.bms", "g", "t", "a");
        tree.WriteChart("R/S/b.bms", "g", "t", "a");
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        QStringList seen;
        SearchSession* session = CTamboroDlgTesting::Session(dlg);
        WorkerThread::Id last = 0;
        QObject::connect(session, &SearchSession::SearchStarting, &dlg, [&] {
            seen << QStringLiteral("starting, worker %1")
                        .arg(CTamboroDlgTesting::LastSearchThreadId(dlg) == last ? "not made" : "made");
        });
        QObject::connect(session, &SearchSession::SearchEnded, &dlg, [&] {
            seen << QStringLiteral("ended, %1 listed").arg(CTamboroDlgTesting::Model(dlg)->rowCount());
        });
        QSemaphore gate;
        CTamboroDlgTesting::SetWorkerStartHook(dlg, [&gate] { gate.acquire(); });
        for (const char* root : {"R", "R/S"}) {
            TypeAndSearch(dlg, tree.Path(root));
            last = CTamboroDlgTesting::LastSearchThreadId(dlg);
            QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);  // still starting
            gate.release();
            QVERIFY(WaitUntil([&] { return WorkerEnded(last); }));
        }
        QCOMPARE(seen, QStringList({"starting, worker not made", "ended, 2 listed", "starting, worker not made",
                                    "ended, 1 listed"}));
    }

    void searchPressedTwiceQuicklyStartsOneWorker()
    {
        TestTree tree;
        tree.WriteChart("x.bms", "g", "t", "a");
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        QSemaphore gate;
        CTamboroDlgTesting::SetWorkerStartHook(dlg, [&gate] { gate.acquire(); });
        TypeAndSearch(dlg, tree.Root());
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        CTamboroDlgTesting::OnButtonSearch(dlg);
        QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_Return);
        QCOMPARE(CTamboroDlgTesting::LastSearchThreadId(dlg), id);
        gate.release();
        QVERIFY(WaitUntil([&] { return WorkerEnded(id); }));
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->rowCount(), 1);
    }

    // A worker whose thread cannot be created (a stack size the system
    // refuses): nothing is reported, the buttons stay, the watch timer
    // stops, and the next press searches.
    void threadThatCannotStartLeavesSearchUsable()
    {
        TestTree tree;
        tree.WriteChart("x.bms", "g", "t", "a");
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        MessageBoxWatcher watcher;
        CTamboroDlgTesting::SetWorkerStackSize(dlg, 1);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("QThread::start")));
        TypeAndSearch(dlg, tree.Root());
        const WorkerThread::Id failed = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return !CTamboroDlgTesting::IsTimerRunning(dlg, CTamboroDlg::TIMER_WATCH); }, 2000));
        QVERIFY(CTamboroDlgTesting::SearchButton(dlg)->isEnabled());
        QVERIFY(!CTamboroDlgTesting::StopButton(dlg)->isEnabled());
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->rowCount(), 0);
        QCOMPARE(CTamboroDlgTesting::SharedState(dlg).Load(), int32_t(SS_IDLE));

        CTamboroDlgTesting::SetWorkerStackSize(dlg, 0);
        TypeAndSearch(dlg, tree.Root());
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(id != failed);
        QVERIFY(WaitUntil([&] { return WorkerEnded(id); }, 5000));
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->rowCount(), 1);
        QVERIFY(watcher.seen.empty());
    }

    void stopMidScanKeepsTheOpenFoldersAndTheWorkerEndsWithThirteen()
    {
        TestTree tree;
        tree.WriteChart("R/top.bms", "g", "top", "a");
        tree.WriteChart("R/A/mid.bms", "g", "mid", "a");
        for (int i = 0; i < 30; ++i)
            tree.WriteChart("R/A/L" + std::to_string(i) + "/x.bms", "g", "leaf", "a");
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        bool pressed = false;
        QObject::connect(CTamboroDlgTesting::Pending(dlg), &PendingResults::RowsHandedOver, &dlg, [&] {
            if (!pressed) {
                pressed = true;
                QTest::mouseClick(CTamboroDlgTesting::StopButton(dlg), Qt::LeftButton);
            }
        });
        TypeAndSearch(dlg, tree.Path("R"));
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return WorkerEnded(id); }));
        QVERIFY(pressed);
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(13));
        // One leaf folder, then the two folders above it.
        QCOMPARE(RowTexts(*CTamboroDlgTesting::Model(dlg), 2), QStringList({"leaf", "mid", "top"}));
        QVERIFY(CTamboroDlgTesting::SearchButton(dlg)->isEnabled());
        QVERIFY(!CTamboroDlgTesting::StopButton(dlg)->isEnabled());
        // The next watch tick finds the word idle and stops the timer; its
        // quit 14 finds no thread.
        QVERIFY(WaitUntil([&] { return !CTamboroDlgTesting::IsTimerRunning(dlg, CTamboroDlg::TIMER_WATCH); }));
        QCOMPARE(CTamboroDlgTesting::SharedState(dlg).Load(), int32_t(SS_IDLE));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(13));
        // Stop when nothing runs does nothing.
        CTamboroDlgTesting::OnButtonStop(dlg);
        QCOMPARE(CTamboroDlgTesting::SharedState(dlg).Load(), int32_t(SS_IDLE));
    }

    // Window B's search ends and writes the idle word while window A still
    // scans: A's Stop still stops A's own search, through its worker's own
    // stop flag.
    void stopStopsTheOwnSearchAfterAnotherWindowsSearchEnded()
    {
        TestTree tree;
        tree.WriteChart("R/top.bms", "g", "top", "a");
        for (int i = 0; i < 30; ++i)
            tree.WriteChart("R/L" + std::to_string(i) + "/x.bms", "g", "leaf", "a");
        tree.WriteChart("small/x.bms", "g", "small", "a");
        ShownDialog a;
        ShownDialog b;
        bool pressed = false;
        QObject::connect(CTamboroDlgTesting::Pending(a.dlg), &PendingResults::RowsHandedOver, &a.dlg, [&] {
            if (pressed)
                return;
            pressed = true;
            // A's worker waits in this call while B searches and ends.
            TypeAndSearch(b.dlg, tree.Path("small"));
            const WorkerThread::Id other = CTamboroDlgTesting::LastSearchThreadId(b.dlg);
            QVERIFY(WaitUntil([&] { return WorkerEnded(other); }));
            QCOMPARE(CTamboroDlgTesting::Model(b.dlg)->rowCount(), 1);
            QCOMPARE(CTamboroDlgTesting::SharedState(a.dlg).Load(), int32_t(SS_IDLE));
            QVERIFY(CTamboroDlgTesting::StopButton(a.dlg)->isEnabled());
            QTest::mouseClick(CTamboroDlgTesting::StopButton(a.dlg), Qt::LeftButton);
        });
        TypeAndSearch(a.dlg, tree.Path("R"));
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(a.dlg);
        QVERIFY(WaitUntil([&] { return WorkerEnded(id); }));
        QVERIFY(pressed);
        QCOMPARE(RowTexts(*CTamboroDlgTesting::Model(a.dlg), 2), QStringList({"leaf", "top"}));
        QVERIFY(CTamboroDlgTesting::SearchButton(a.dlg)->isEnabled());
        QVERIFY(!CTamboroDlgTesting::StopButton(a.dlg)->isEnabled());
        QCOMPARE(CTamboroDlgTesting::SharedState(a.dlg).Load(), int32_t(SS_IDLE));
    }

    // The first watch tick came before the worker marked itself running:
    // the timer stops, and the queued quit 14 ends the worker after its scan.
    void earlyWatchTickStillEndsTheWorkerWithFourteen()
    {
        TestTree tree;
        tree.WriteChart("A/x.bms", "g", "t", "a");
        tree.WriteChart("y.bms", "g", "t", "a");
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        QSemaphore gate;
        CTamboroDlgTesting::SetWorkerStartHook(dlg, [&gate] { gate.acquire(); });
        TypeAndSearch(dlg, tree.Root());
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        CTamboroDlgTesting::OnTimer(dlg, CTamboroDlg::TIMER_WATCH);
        QVERIFY(!CTamboroDlgTesting::IsTimerRunning(dlg, CTamboroDlg::TIMER_WATCH));
        gate.release();
        QVERIFY(WaitUntil([&] { return WorkerEnded(id); }));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(14));
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->rowCount(), 2);
        QCOMPARE(CTamboroDlgTesting::SharedState(dlg).Load(), int32_t(SS_IDLE));
    }

    void escapeAndCloseWhileIdleExitWithThree_data()
    {
        QTest::addColumn<bool>("escape");
        QTest::newRow("escape") << true;
        QTest::newRow("close") << false;
    }
    void escapeAndCloseWhileIdleExitWithThree()
    {
        QFETCH(bool, escape);
        CTamboroDlg dlg;
        QTimer::singleShot(50, &dlg, [&] {
            if (escape)
                QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_Escape);
            else
                dlg.close();
        });
        QCOMPARE(dlg.DoModal(), 3);
        // A close request closes the window's handle; Escape does not.
        QCOMPARE(CTamboroDlgTesting::HasSharedHandle(dlg), escape);
    }

    // The running window is a normal top-level window, not a modal one
    // (window managers would take it for a transient dialog).
    void runningWindowIsNotModal()
    {
        CTamboroDlg dlg;
        bool checked = false;
        QTimer::singleShot(50, &dlg, [&] {
            checked = dlg.isVisible() && dlg.windowHandle() != nullptr &&
                      dlg.windowHandle()->modality() == Qt::NonModal && QGuiApplication::modalWindow() == nullptr &&
                      dlg.windowModality() == Qt::NonModal;
            QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_Escape);
        });
        QCOMPARE(dlg.DoModal(), 3);
        QVERIFY(checked);
    }

    // The second close request must not close the handle again: by then its
    // number may belong to another file.
    void secondCloseDoesNotCloseTheHandleTwice()
    {
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        CTamboroDlgTesting::OnClose(dlg);
        QVERIFY(!CTamboroDlgTesting::HasSharedHandle(dlg));
        QCOMPARE(CTamboroDlgTesting::PostedQuitCode(dlg), std::optional<int>(3));
        const int reused = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        QVERIFY(reused >= 0);
        CTamboroDlgTesting::OnClose(dlg);
        QVERIFY(::fcntl(reused, F_GETFD) != -1);
        ::close(reused);
        QCOMPARE(CTamboroDlgTesting::PostedQuitCode(dlg), std::optional<int>(3));
    }

    // Closing during a search stops it, waits for the scan to unwind, keeps
    // the rows already listed, and ends the program with 4.
    void closeDuringASearchExitsWithFourAfterTheScanUnwound()
    {
        TestTree tree;
        tree.WriteChart("R/top.bms", "g", "top", "a");
        for (int i = 0; i < 30; ++i)
            tree.WriteChart("R/L" + std::to_string(i) + "/x.bms", "g", "leaf", "a");
        const int before = WorkerThreadTesting::LiveCount();
        CTamboroDlg dlg;
        bool closed = false;
        QObject::connect(CTamboroDlgTesting::Pending(dlg), &PendingResults::RowsHandedOver, &dlg, [&] {
            if (!closed) {
                closed = true;
                dlg.close();
                QVERIFY(CTamboroDlgTesting::IsTimerRunning(dlg, CTamboroDlg::TIMER_CLOSE));
            }
        });
        QTimer::singleShot(0, &dlg, [&] { TypeAndSearch(dlg, tree.Path("R")); });
        QTimer::singleShot(30000, &dlg, [&] { dlg.done(-1); });  // a hang fails, not blocks
        const int code = dlg.DoModal();
        QCOMPARE(code, 4);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(13));
        QCOMPARE(WorkerThreadTesting::LiveCount(), before);
        QCOMPARE(RowTexts(*CTamboroDlgTesting::Model(dlg), 2), QStringList({"leaf", "top"}));
        QCOMPARE(CTamboroDlgTesting::SharedState(dlg).Load(), int32_t(SS_IDLE));
    }

    // At program end a worker still waiting for its quit is ended and
    // joined before DoModal returns.
    void programEndJoinsAWaitingWorker()
    {
        TestTree tree;
        tree.WriteChart("x.bms", "g", "t", "a");
        const int before = WorkerThreadTesting::LiveCount();
        WorkerThread::Id id = 0;
        {
            CTamboroDlg dlg;
            QTimer::singleShot(0, &dlg, [&] {
                TypeAndSearch(dlg, tree.Root());
                id = CTamboroDlgTesting::LastSearchThreadId(dlg);
                WaitUntil([&] {
                    return WorkerThread::PhaseOf(id) != WorkerThread::Phase::Working &&
                           WorkerThread::PhaseOf(id) != WorkerThread::Phase::Created;
                });
                QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_Escape);
            });
            QCOMPARE(dlg.DoModal(), 3);
            QVERIFY(WorkerEnded(id));
            QCOMPARE(WorkerThreadTesting::LiveCount(), before);
        }
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(14));
    }

    // Two instances reach one block: the second's set-up marks it idle, and
    // closing an idle instance while the word says running stops the other
    // instance's search and waits like a close during a search.
    void secondInstanceUsesTheSameBlock()
    {
        ShownDialog first;
        CTamboroDlgTesting::SharedState(first.dlg).Store(SS_RUNNING);
        CTamboroDlg second;
        QVERIFY(CTamboroDlgTesting::OnInitDialog(second));
        QCOMPARE(CTamboroDlgTesting::SharedState(first.dlg).Load(), int32_t(SS_IDLE));

        CTamboroDlgTesting::SharedState(second).Store(SS_RUNNING);
        QCOMPARE(CTamboroDlgTesting::SharedState(first.dlg).Load(), int32_t(SS_RUNNING));
        CTamboroDlgTesting::OnClose(first.dlg);
        QCOMPARE(CTamboroDlgTesting::SharedState(second).Load(), int32_t(SS_STOP));
        QVERIFY(CTamboroDlgTesting::IsTimerRunning(first.dlg, CTamboroDlg::TIMER_CLOSE));
        QCOMPARE(CTamboroDlgTesting::PostedQuitCode(first.dlg), std::nullopt);
        QVERIFY(CTamboroDlgTesting::HasSharedHandle(first.dlg));
        CTamboroDlgTesting::SharedState(second).Store(SS_IDLE);
        QVERIFY(WaitUntil([&] { return CTamboroDlgTesting::PostedQuitCode(first.dlg).has_value(); }, 5000));
        QCOMPARE(CTamboroDlgTesting::PostedQuitCode(first.dlg), std::optional<int>(4));
    }

    // Another process wrote idle into the block while this window's scan
    // runs: a close ends the program with 3, and the scan is not waited for
    // (a folder at a time, each handed over on its own, would take far
    // longer than the 2 s allowed). The shared word is not written.
    void closeWhileTheWordReadsIdleEndsTheProgramPromptly()
    {
        TestTree tree;
        for (int i = 0; i < 2000; ++i)
            tree.WriteChart("R/F" + std::to_string(i) + "/x.bms", "g", "t", "a");
        const int before = WorkerThreadTesting::LiveCount();
        QElapsedTimer sinceClose;
        int folders = 0;
        QTimer::singleShot(0, [&] {
            CTamboroDlg* dlg = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets())
                dlg = dlg != nullptr ? dlg : qobject_cast<CTamboroDlg*>(widget);
            QVERIFY(dlg != nullptr);
            CTamboroDlgTesting::SetWorkerHandOverPeriod(*dlg, std::chrono::milliseconds(0));
            QTimer::singleShot(60000, dlg, [dlg] { dlg->done(-1); });  // a hang fails, not blocks
            QObject::connect(CTamboroDlgTesting::Pending(*dlg), &PendingResults::RowsHandedOver, dlg,
                             [dlg, &folders, &sinceClose] {
                                 if (++folders != 5)
                                     return;
                                 const pid_t child = ::fork();
                                 if (child == 0) {
                                     SharedStateBlock outsider;
                                     if (outsider.Open() != SharedStateBlock::Result::Ok)
                                         ::_exit(1);
                                     outsider.Word().Store(SS_IDLE);
                                     ::_exit(0);
                                 }
                                 int status = 0;
                                 ::waitpid(child, &status, 0);
                                 QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
                                 dlg->close();
                                 sinceClose.start();
                             });
            TypeAndSearch(*dlg, tree.Path("R"));
        });
        const int code = CTamboroApp::RunMainWindow();
        const qint64 elapsed = sinceClose.elapsed();
        QCOMPARE(code, 3);
        QVERIFY2(elapsed < 2000, qPrintable(QStringLiteral("%1 ms from the close to the end").arg(elapsed)));
        QCOMPARE(WorkerThreadTesting::LiveCount(), before);
    }

    // Another process writes -1 into the block: the scan unwinds, and the
    // search ends like a finished one (watch timer, quit 14).
    void outsideProcessWritingStopEndsTheScan()
    {
        TestTree tree;
        tree.WriteChart("R/top.bms", "g", "top", "a");
        for (int i = 0; i < 30; ++i)
            tree.WriteChart("R/L" + std::to_string(i) + "/x.bms", "g", "leaf", "a");
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        bool written = false;
        QObject::connect(CTamboroDlgTesting::Pending(dlg), &PendingResults::RowsHandedOver, &dlg, [&] {
            if (written)
                return;
            written = true;
            const pid_t child = ::fork();
            if (child == 0) {
                SharedStateBlock outsider;
                if (outsider.Open() != SharedStateBlock::Result::Ok)
                    ::_exit(1);
                outsider.Word().Store(SS_STOP);
                ::_exit(0);
            }
            int status = 0;
            ::waitpid(child, &status, 0);
            QVERIFY(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        });
        TypeAndSearch(dlg, tree.Path("R"));
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return WorkerEnded(id); }));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(14));
        QCOMPARE(RowTexts(*CTamboroDlgTesting::Model(dlg), 2), QStringList({"leaf", "top"}));
        QCOMPARE(CTamboroDlgTesting::SharedState(dlg).Load(), int32_t(SS_IDLE));
    }

    // The block cannot be created (a folder stands at its name): the
    // message, owned by the window, and the program ends with 0.
    void blockThatCannotBeCreatedEndsTheProgramWithZero()
    {
        TestTree runtime;
        runtime.MakeFolder(kSharedBlockName);
        ::setenv("XDG_RUNTIME_DIR", runtime.Root().c_str(), 1);
        MessageBoxWatcher watcher;
        const int code = CTamboroApp::RunMainWindow();
        m_runtime.Use();
        QCOMPARE(code, 0);
        QCOMPARE(watcher.seen.size(), std::size_t(1));
        QCOMPARE(watcher.seen[0].caption, QStringLiteral("Error"));
        QCOMPARE(watcher.seen[0].text, QStringLiteral("共有メモリを作成できませんでした。"));
        QCOMPARE(watcher.seen[0].ownerClass, QStringLiteral("tamboro::CTamboroDlg"));
    }

    // The block's file is removed or replaced while the window runs: the
    // window and its workers keep to the one block the window set up, so a
    // search runs, the window sees it run, and Stop stops it.
    void blockRemovedOrReplacedUnderTheWindow_data()
    {
        QTest::addColumn<QString>("replacement");
        QTest::newRow("removed") << QString();
        QTest::newRow("folder") << QStringLiteral("folder");
        QTest::newRow("new block") << QStringLiteral("block");
    }
    void blockRemovedOrReplacedUnderTheWindow()
    {
        QFETCH(QString, replacement);
        TestTree runtime;
        ::setenv("XDG_RUNTIME_DIR", runtime.Root().c_str(), 1);
        TestTree tree;
        tree.WriteChart("R/top.bms", "g", "top", "a");
        for (int i = 0; i < 30; ++i)
            tree.WriteChart("R/L" + std::to_string(i) + "/x.bms", "g", "leaf", "a");
        ShownDialog shown;
        CTamboroDlg& dlg = shown.dlg;
        QCOMPARE(::unlink(runtime.Path(kSharedBlockName).c_str()), 0);
        SharedStateBlock newcomer;  // what an instance started now creates
        if (replacement == "folder")
            runtime.MakeFolder(kSharedBlockName);
        else if (replacement == "block") {
            QCOMPARE(newcomer.Create(), SharedStateBlock::Result::Ok);
            newcomer.Word().Store(SS_IDLE);
        }
        MessageBoxWatcher watcher;
        std::optional<int32_t> wordWhileScanning;
        QObject::connect(CTamboroDlgTesting::Pending(dlg), &PendingResults::RowsHandedOver, &dlg, [&] {
            if (wordWhileScanning)
                return;
            wordWhileScanning = CTamboroDlgTesting::SharedState(dlg).Load();
            QTest::mouseClick(CTamboroDlgTesting::StopButton(dlg), Qt::LeftButton);
        });
        TypeAndSearch(dlg, tree.Path("R"));
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return WorkerEnded(id); }));
        m_runtime.Use();
        QVERIFY(watcher.seen.empty());
        QCOMPARE(wordWhileScanning, std::optional<int32_t>(SS_RUNNING));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(13));
        QCOMPARE(RowTexts(*CTamboroDlgTesting::Model(dlg), 2), QStringList({"leaf", "top"}));
        QCOMPARE(CTamboroDlgTesting::SharedState(dlg).Load(), int32_t(SS_IDLE));
    }

    // --help and --version answer and end with 0 without a window (no
    // display is needed for them), whatever else is on the line.
    void helpAndVersionAnswerWithoutAWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("mentioned");
        // The help names the Search button as it reads.
        QTest::newRow("help") << QStringList{"--help"} << QStringLiteral("Usage: tamboro") << QStringLiteral("検索(S)");
        QTest::newRow("version") << QStringList{"stray", "--version", "--help"}
                                 << QStringLiteral("tamboro " TAMBORO_VERSION "\n") << QString();
    }
    void helpAndVersionAnswerWithoutAWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, expected);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TAMBORO_BINARY), arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        const QString out = QString::fromUtf8(process.readAllStandardOutput());
        QFETCH(QString, mentioned);
        QVERIFY2(out.startsWith(expected) && out.contains(mentioned), qPrintable(out));
        QVERIFY(process.readAllStandardError().isEmpty());
    }
    // An answer that cannot be written (a full device) is a failure, in one line.
    void helpThatCannotBeWrittenFails()
    {
        QProcess process;
        process.setStandardOutputFile(QStringLiteral("/dev/full"));
        process.start(QStringLiteral(TAMBORO_BINARY), {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 1);
        const QString err = QString::fromUtf8(process.readAllStandardError());
        QVERIFY2(err.startsWith(QStringLiteral("tamboro: ")) && err.count('\n') == 1, qPrintable(err));
    }

    // Without any display, or with one named that cannot be opened (X or
    // Wayland, chosen by Qt or named), the program says so in one line and
    // ends with 1, instead of Qt's abort.
    void noDisplayIsOneLineAndAFailure_data()
    {
        QTest::addColumn<QStringList>("variables");  // NAME=value; the other display variables unset
        QTest::newRow("none") << QStringList{};
        QTest::newRow("X unreachable") << QStringList{"DISPLAY=:1999"};
        QTest::newRow("Wayland unreachable") << QStringList{"WAYLAND_DISPLAY=tamboro-no-compositor"};
        QTest::newRow("Wayland named, unreachable")
            << QStringList{"QT_QPA_PLATFORM=wayland", "WAYLAND_DISPLAY=tamboro-no-compositor"};
        QTest::newRow("both unreachable") << QStringList{"DISPLAY=:1999", "WAYLAND_DISPLAY=tamboro-no-compositor"};
    }
    void noDisplayIsOneLineAndAFailure()
    {
        QFETCH(QStringList, variables);
        const TestTree runtime;  // no compositor's socket in it
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_SESSION_TYPE"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.Root()));
        for (const QString& variable : variables)
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TAMBORO_BINARY), {});
        QVERIFY(process.waitForFinished(20000));
        const QByteArray err = process.readAllStandardError();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 1);
        QVERIFY2(err.startsWith("tamboro: no display to show the window on ("), err.constData());
        QCOMPARE(err.count('\n'), 1);
        QVERIFY(err.endsWith(")\n"));
        for (const QString& variable : variables)
            QVERIFY2(err.contains(variable.toUtf8()), err.constData());
        QVERIFY(process.readAllStandardOutput().isEmpty());
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiDialogTest)
#include "GuiDialogTest.moc"
