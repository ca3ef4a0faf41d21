// CBmsSearch on real threads over temporary trees: what it tells the window
// and in which order, the state word it leaves, stop, the row limit, and the
// two ways reaching the state block can fail.
#include <QCoreApplication>
#include <QEvent>
#include <QTest>
#include <QThread>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/BmsSearchTesting.h"
#include "tests/support/TestTree.h"
#include "tests/support/WorkerThreadTesting.h"
#include "worker/BmsSearch.h"
#include "worker/WorkerThread.h"

namespace tamboro {
namespace {

// Records every call, checking that it runs on the window's thread, and the
// state word as each call found it.
class FakeWindow : public SearchWindow {
public:
    explicit FakeWindow(StateWord word) : m_word(word) { context.installEventFilter(&m_counter); }

    QObject* Context() override { return &context; }
    void EnableSearchButton(bool enable) override { Record(enable ? "search on" : "search off"); }
    void EnableStopButton(bool enable) override { Record(enable ? "stop on" : "stop off"); }
    void AddRows(std::vector<ChartRow>& batch) override
    {
        Record("rows " + std::to_string(batch.size()));
        for (ChartRow& row : batch)
            rows.push_back(std::move(row));
        batch.clear();
        if (onRows)
            onRows();
    }
    void SetTitleBytes(const std::string& title) override { Record("title " + title); }
    void ShowStateBlockError(const char* message) override { Record(std::string("error ") + message); }
    void ScanCutShort() override { Record("cut short"); }

    QObject context;
    std::vector<std::string> calls;
    std::vector<int32_t> wordAtCall;
    std::vector<ChartRow> rows;
    bool offThread = false;
    std::function<void()> onRows;
    // Calls the worker made, each a round trip to the window's thread.
    int RoundTrips() const { return m_counter.metaCalls; }

private:
    struct CallCounter : QObject {
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::MetaCall)
                ++metaCalls;
            return false;
        }
        int metaCalls = 0;
    } m_counter;
    void Record(std::string call)
    {
        if (QThread::currentThread() != context.thread())
            offThread = true;
        calls.push_back(std::move(call));
        wordAtCall.push_back(m_word.IsValid() ? m_word.Load() : 99);
    }
    StateWord m_word;
};

// Runs a search to the point where it waits for its quit (or has ended),
// serving its window calls meanwhile.
bool RunToWait(CBmsSearch& search)
{
    search.start();
    for (int i = 0; i < 6000; ++i) {
        const auto phase = WorkerThread::PhaseOf(search.ThreadId());
        if (phase == WorkerThread::Phase::Waiting || phase == WorkerThread::Phase::Ended)
            return true;
        QTest::qWait(5);
    }
    return false;
}

std::vector<std::string> Folders(const std::vector<ChartRow>& rows)
{
    std::vector<std::string> out;
    for (const ChartRow& row : rows)
        out.push_back(row.folder);
    return out;
}

}  // namespace

class WorkerSearchTest : public QObject {
    Q_OBJECT
private:
    test::TestTree m_runtime;
    SharedStateBlock m_dialogSide;
    StateWord m_word;

private slots:
    void initTestCase()
    {
        // Never the session's real block: other instances may be using it.
        ::setenv("XDG_RUNTIME_DIR", m_runtime.Root().c_str(), 1);
        QCOMPARE(m_dialogSide.Create(), SharedStateBlock::Result::Ok);
        m_word = m_dialogSide.Word();
    }

    void init() { m_word.Store(SS_IDLE); }

    void nestedTreeIsHandedOverFolderByFolderOnTheWindowThread()
    {
        test::TestTree tree;
        tree.WriteChart("a.bms", "G1", "Top", "A1");
        tree.WriteChart("S/b.bms", "G2", "Middle", "A2");
        tree.WriteChart("S/T/c.bms", "G3", "Deep", "A3");
        tree.WriteChart("S/T/d.BMS", "G4", "Deep2", "A4");
        FakeWindow window(m_word);
        CBmsSearch search(window, tree.Root(), m_dialogSide);
        search.SetHandOverPeriod(std::chrono::milliseconds(0));
        QVERIFY(RunToWait(search));
        QCOMPARE(WorkerThread::PhaseOf(search.ThreadId()), WorkerThread::Phase::Waiting);

        const std::string root = tree.Root() + "/";
        const std::vector<std::string> expected = {
            "search off", "stop on",
            "rows 2",     "title Tamboro - 2 [" + root + "S/T/]",
            "rows 1",     "title Tamboro - 3 [" + root + "S/]",
            "rows 1",     "title Tamboro - 4 [" + root + "]",
            "search on",  "stop off",
        };
        QCOMPARE(window.calls, expected);
        QVERIFY(!window.offThread);
        // Running from the first call to the last, idle only after it.
        for (std::size_t i = 0; i < window.wordAtCall.size(); ++i)
            QCOMPARE(window.wordAtCall[i], int32_t(SS_RUNNING));
        QCOMPARE(m_word.Load(), int32_t(SS_IDLE));

        QCOMPARE(window.rows.size(), std::size_t(4));
        QCOMPARE(window.rows[2].folder, root + "S/");
        QCOMPARE(window.rows[2].Title(), std::string("Middle"));
        QCOMPARE(window.rows[3].folder, root);
        QCOMPARE(window.rows[3].Genre(), std::string("G1"));
        QCOMPARE(window.rows[3].Artist(), std::string("A1"));
        for (uint32_t i = 0; i < 4; ++i)
            QCOMPARE(window.rows[i].index, i);
        QCOMPARE(BmsSearchTesting::Count(search), 4);

        QVERIFY(WorkerThread::PostQuit(search.ThreadId(), 14));
        QVERIFY(WorkerThreadTesting::Join(search, std::chrono::seconds(5)));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(search.ThreadId()), std::optional<int>(14));
    }

    // The first finished folder goes over at once; folders finished within
    // the hand-over period of the last call go together, whole, in one call
    // with the latest title.
    void foldersFinishedWithinThePeriodTravelTogether()
    {
        test::TestTree tree;
        tree.WriteChart("a.bms", "G1", "Top", "A1");
        tree.WriteChart("S/b.bms", "G2", "Middle", "A2");
        tree.WriteChart("S/b2.bms", "G2", "Middle2", "A2");
        tree.WriteChart("S/T/c.bms", "G3", "Deep", "A3");
        tree.MakeFolder("S/T/U");
        FakeWindow window(m_word);
        CBmsSearch search(window, tree.Root(), m_dialogSide);
        search.SetHandOverPeriod(std::chrono::hours(1));
        QVERIFY(RunToWait(search));
        const std::string root = tree.Root() + "/";
        const std::vector<std::string> expected = {
            "search off",
            "stop on",
            "title Tamboro - 0 [" + root + "S/T/U/]",
            "rows 4",
            "title Tamboro - 4 [" + root + "]",
            "search on",
            "stop off",
        };
        QCOMPARE(window.calls, expected);
        QCOMPARE(window.RoundTrips(), 4);
        QCOMPARE(window.rows.size(), std::size_t(4));
        for (uint32_t i = 0; i < 4; ++i)
            QCOMPARE(window.rows[i].index, i);
        QCOMPARE(window.rows[0].Title(), std::string("Deep"));
        QCOMPARE(std::set<std::string>({window.rows[1].Title(), window.rows[2].Title()}),
                 std::set<std::string>({"Middle", "Middle2"}));
        QCOMPARE(window.rows[3].Title(), std::string("Top"));
        WorkerThread::PostQuit(search.ThreadId(), 14);
        QVERIFY(WorkerThreadTesting::Join(search, std::chrono::seconds(5)));
    }

    void emptyTreeStillSwapsTheButtonsAndEndsIdle()
    {
        test::TestTree tree;
        tree.MakeFolder("nothing/here");
        FakeWindow window(m_word);
        CBmsSearch search(window, tree.Root(), m_dialogSide);
        search.SetHandOverPeriod(std::chrono::milliseconds(0));
        QVERIFY(RunToWait(search));
        const std::string root = tree.Root() + "/";
        const std::vector<std::string> expected = {
            "search off",
            "stop on",
            "title Tamboro - 0 [" + root + "nothing/here/]",
            "title Tamboro - 0 [" + root + "nothing/]",
            "title Tamboro - 0 [" + root + "]",
            "search on",
            "stop off",
        };
        QCOMPARE(window.calls, expected);
        QCOMPARE(m_word.Load(), int32_t(SS_IDLE));
        WorkerThread::PostQuit(search.ThreadId(), 14);
        QVERIFY(WorkerThreadTesting::Join(search, std::chrono::seconds(5)));
    }

    void missingRootListsNothingAndEndsIdle()
    {
        test::TestTree tree;
        FakeWindow window(m_word);
        CBmsSearch search(window, tree.Path("absent"), m_dialogSide);
        QVERIFY(RunToWait(search));
        const std::vector<std::string> expected = {"search off", "stop on", "search on", "stop off"};
        QCOMPARE(window.calls, expected);
        QCOMPARE(m_word.Load(), int32_t(SS_IDLE));
        WorkerThread::PostQuit(search.ThreadId(), 14);
        QVERIFY(WorkerThreadTesting::Join(search, std::chrono::seconds(5)));
    }

    // A stop written while the deepest folder is being handed over: the
    // folders still open on the path are completed, nothing else is entered,
    // and a quit 13 queued during the scan ends the thread right after it.
    void stopKeepsTheOpenFoldersAndEndsWithThirteen()
    {
        test::TestTree tree;
        tree.WriteChart("R/top.bms", "g", "top", "a");
        tree.WriteChart("R/A/mid.bms", "g", "mid", "a");
        tree.WriteChart("R/A/B/deep.bms", "g", "deep", "a");
        for (int i = 0; i < 20; ++i)
            tree.WriteChart("R/A/B/C" + std::to_string(i) + "/x.bms", "g", "leaf", "a");
        FakeWindow window(m_word);
        CBmsSearch search(window, tree.Path("R"), m_dialogSide);
        // Stop as the first leaf folder is handed over, as the Stop button
        // does: one compare-and-exchange, then quit 13 by thread id.
        window.onRows = [&] {
            if (window.rows.size() == 1) {
                QVERIFY(m_word.CompareExchange(SS_RUNNING, SS_STOP));
                QVERIFY(WorkerThread::PostQuit(search.ThreadId(), 13));
            }
        };
        QVERIFY(RunToWait(search));
        QVERIFY(WorkerThreadTesting::Join(search, std::chrono::seconds(5)));  // quit 13 was already queued
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(search.ThreadId()), std::optional<int>(13));
        QCOMPARE(m_word.Load(), int32_t(SS_IDLE));
        const std::string root = tree.Path("R") + "/";
        const std::vector<std::string> folders = Folders(window.rows);
        QCOMPARE(folders.size(), std::size_t(4));
        QVERIFY(folders[0].starts_with(root + "A/B/C"));
        QCOMPARE(folders[1], root + "A/B/");
        QCOMPARE(folders[2], root + "A/");
        QCOMPARE(folders[3], root);
        QCOMPARE(window.calls.at(window.calls.size() - 3), "title Tamboro - 4 [" + root + "]");
        QCOMPARE(window.calls.back(), std::string("stop off"));
    }

    // Another process (or instance) writing SS_STOP stops the scan just the
    // same; the worker then waits for its quit like after a finished search.
    void outsideStopEndsTheScanAndTheWorkerWaits()
    {
        test::TestTree tree;
        for (int i = 0; i < 30; ++i)
            tree.WriteChart("R/F" + std::to_string(i) + "/x.bms", "g", "t", "a");
        FakeWindow window(m_word);
        CBmsSearch search(window, tree.Path("R"), m_dialogSide);
        window.onRows = [&] {
            if (window.rows.size() == 1) {
                SharedStateBlock outsider;
                QCOMPARE(outsider.Open(), SharedStateBlock::Result::Ok);
                outsider.Word().Store(SS_STOP);
            }
        };
        QVERIFY(RunToWait(search));
        QCOMPARE(window.rows.size(), std::size_t(1));
        QCOMPARE(m_word.Load(), int32_t(SS_IDLE));
        QCOMPARE(WorkerThread::PhaseOf(search.ThreadId()), WorkerThread::Phase::Waiting);
        WorkerThread::PostQuit(search.ThreadId(), 14);
        QVERIFY(WorkerThreadTesting::Join(search, std::chrono::seconds(5)));
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(search.ThreadId()), std::optional<int>(14));
    }

    // The first 65,536 rows are listed; folders after that add none.
    void rowLimitOf65536()
    {
        test::TestTree tree;
        tree.MakeFolder("R/big");
        for (int i = 0; i < 65536; ++i) {
            const std::string path = tree.Path("R/big/" + std::to_string(i) + ".bms");
            const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY, 0600);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        tree.WriteChart("R/late.bms", "g", "late", "a");
        FakeWindow window(m_word);
        CBmsSearch search(window, tree.Path("R"), m_dialogSide);
        QVERIFY(RunToWait(search));
        QCOMPARE(window.rows.size(), std::size_t(65536));
        QCOMPARE(window.calls.at(window.calls.size() - 3), "title Tamboro - 65536 [" + tree.Path("R") + "/]");
        WorkerThread::PostQuit(search.ThreadId(), 14);
        QVERIFY(WorkerThreadTesting::Join(search, std::chrono::seconds(5)));
    }

    // The worker maps the window's own block through a handle taken from
    // the window's: no handle to take (the window holds none), or a block
    // cut too short to map, are reported by the worker and end its thread.
    void openFailuresAreReportedAndTheThreadEndsAlone_data()
    {
        QTest::addColumn<bool>("withoutHandle");
        QTest::addColumn<QString>("message");
        QTest::newRow("object") << true << QString::fromUtf8(kMsgOpenObjectFailed);
        QTest::newRow("view") << false << QString::fromUtf8(kMsgOpenViewFailed);
    }
    void openFailuresAreReportedAndTheThreadEndsAlone()
    {
        QFETCH(bool, withoutHandle);
        QFETCH(QString, message);
        test::TestTree runtime;
        ::setenv("XDG_RUNTIME_DIR", runtime.Root().c_str(), 1);
        SharedStateBlock windowSide;
        const SharedStateBlock::Result created = windowSide.Create();
        ::setenv("XDG_RUNTIME_DIR", m_runtime.Root().c_str(), 1);
        QCOMPARE(created, SharedStateBlock::Result::Ok);
        if (withoutHandle)
            windowSide.CloseHandle();
        else
            QCOMPARE(::truncate(runtime.Path(kSharedBlockName).c_str(), 0), 0);
        test::TestTree tree;
        tree.WriteChart("x.bms", "g", "t", "a");
        FakeWindow window(StateWord{});
        CBmsSearch search(window, tree.Root(), windowSide);
        QVERIFY(RunToWait(search));
        QVERIFY(WorkerThreadTesting::Join(search, std::chrono::seconds(5)));  // no quit needed
        const std::vector<std::string> expected = {"error " + message.toStdString()};
        QCOMPARE(window.calls, expected);
        QVERIFY(window.rows.empty());
        QCOMPARE(m_word.Load(), int32_t(SS_IDLE));  // the real block untouched
        QVERIFY(!WorkerThread::PostQuit(search.ThreadId(), 14));
    }
};

}  // namespace tamboro

QTEST_GUILESS_MAIN(tamboro::WorkerSearchTest)
#include "WorkerSearchTest.moc"
