// Hostile folder trees searched in the real window (offscreen, real worker
// threads): links that loop or lead back to the root, dangling links and
// special files named like charts, a folder named like a chart, 100,000
// charts in one folder, a tree 3,000 folders deep, names that are no valid
// text, binary junk, and unreadable entries. Every search must list the
// expected rows and end cleanly: the word idle, Search back and Stop gone,
// the watch timer stopped, no message box, and the worker ended with 14.
//
// The trees that the shell cannot make well (a socket, 3,000 levels,
// 100,000 charts, junk) are made by hostile_tool, as for tamboro-scan.
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <tuple>
#include <unistd.h>

#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "platform/DirectoryReader.h"
#include "platform/TextDecoder.h"
#include "tests/support/Checked.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"
#include "tests/support/WorkerThreadTesting.h"
#include "worker/WorkerThread.h"

namespace tamboro {
namespace {

using test::MessageBoxWatcher;
using test::TestTree;
using test::WaitUntil;

// One row as bytes: folder, genre, title, artist. In expectations a folder
// starting with "R/" stands for the tree's root.
using Row = std::tuple<std::string, std::string, std::string, std::string>;

void Tool(const QStringList& arguments)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedChannels);
    tool.start(QStringLiteral(HOSTILE_TOOL), arguments);
    QVERIFY2(tool.waitForFinished(600000), "hostile_tool did not finish");
    QCOMPARE(tool.exitStatus(), QProcess::NormalExit);
    QCOMPARE(tool.exitCode(), 0);
}

// Removes a tree whose paths are longer than PATH_MAX, which
// std::filesystem cannot: rm walks it with *at() calls.
struct DeepTreeRemover {
    ~DeepTreeRemover()
    {
        QProcess rm;
        rm.start(QStringLiteral("rm"), {QStringLiteral("-rf"), QString::fromStdString(path)});
        rm.waitForFinished(600000);
    }
    std::string path;
};

long PeakResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("VmHWM:"))
            return std::stol(line.substr(6));
    }
    return -1;
}

std::vector<Row> Sorted(std::vector<Row> rows)
{
    std::sort(rows.begin(), rows.end());
    return rows;
}

QByteArray Show(const std::vector<Row>& rows)
{
    QByteArray out;
    for (const Row& row : rows) {
        out += QByteArray::fromStdString(std::get<0>(row)).toPercentEncoding("/") + " | " +
               QByteArray::fromStdString(std::get<1>(row)).toPercentEncoding() + " | " +
               QByteArray::fromStdString(std::get<2>(row)).toPercentEncoding() + " | " +
               QByteArray::fromStdString(std::get<3>(row)).toPercentEncoding() + "\n";
    }
    return out;
}

std::vector<Row> ModelRows(const ResultModel& model)
{
    std::vector<Row> rows;
    for (int i = 0; i < model.rowCount(); ++i)
        rows.emplace_back(model.CellBytes(i, 0), model.CellBytes(i, 1), model.CellBytes(i, 2), model.CellBytes(i, 3));
    return rows;
}

// The window as the program shows it, searching one tree after another.
class Window {
public:
    Window()
    {
        CTamboroDlgTesting::OnInitDialog(m_dlg);
        m_dlg.show();
    }

    CTamboroDlg& Dlg() { return m_dlg; }

    // Types `root` and presses Search; waits until the watch timer has seen
    // the search end and the worker has ended, and checks that it ended
    // cleanly. `timeoutMs` only keeps a hang from blocking the suite.
    void Search(const std::string& root, int timeoutMs = 300000)
    {
        MessageBoxWatcher boxes;
        CTamboroDlgTesting::PathEdit(m_dlg)->setText(QString::fromStdString(root));
        QElapsedTimer timer;
        timer.start();
        QTest::mouseClick(CTamboroDlgTesting::SearchButton(m_dlg), Qt::LeftButton);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(m_dlg);
        QVERIFY(id != 0);
        QVERIFY2(WaitUntil([&] { return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended; }, timeoutMs),
                 "the search did not end");
        QCOMPARE(WorkerThreadTesting::ExitCodeOf(id), std::optional<int>(CodeOf(WorkerQuitCode::SearchFinished)));
        QCOMPARE(CTamboroDlgTesting::SharedState(m_dlg).Load(), int32_t(SS_IDLE));
        QVERIFY(CTamboroDlgTesting::SearchButton(m_dlg)->isEnabled());
        QVERIFY(!CTamboroDlgTesting::StopButton(m_dlg)->isEnabled());
        QVERIFY(!CTamboroDlgTesting::IsTimerRunning(m_dlg, CTamboroDlg::TIMER_WATCH));
        QCOMPARE(boxes.seen.size(), std::size_t(0));
        // The time includes the watch timer's tick that ends the worker.
        qInfo("%d rows, search ended after %lld ms; peak resident memory so far %ld MB",
              CTamboroDlgTesting::Model(m_dlg)->rowCount(), static_cast<long long>(timer.elapsed()),
              PeakResidentKb() / 1024);
    }

    // The rows listed, in any order, are exactly `wanted`.
    void ExpectRows(const std::string& root, std::vector<Row> wanted)
    {
        for (Row& row : wanted) {
            std::string& folder = std::get<0>(row);
            if (folder.starts_with("R/"))
                folder = root + folder.substr(1);
        }
        const std::vector<Row> got = Sorted(ModelRows(*CTamboroDlgTesting::Model(m_dlg)));
        wanted = Sorted(std::move(wanted));
        if (got != wanted)
            QFAIL(("rows differ; wanted:\n" + Show(wanted) + "got:\n" + Show(got)).constData());
    }

    // The title names the root, with the number of rows listed.
    void ExpectFinalTitle(const std::string& root)
    {
        const std::string title = FormatTitle(CTamboroDlgTesting::Model(m_dlg)->rowCount(), root + "/");
        QCOMPARE(m_dlg.windowTitle(), QString::fromStdU16String(DecodePathToUtf16(title)));
    }

private:
    CTamboroDlg m_dlg;
};

const std::string kNoValues = "";

}  // namespace

class GuiHostileTreesTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;

private slots:
    void initTestCase()
    {
        m_runtime.Use();
        // A scan holds one descriptor per level of the tree, as the program
        // does at its start.
        RaiseOpenFileLimit();
    }

    // a/toB -> ../b and b/toA -> ../a: each folder is entered once on every
    // path that does not lead back into itself; the search ends.
    void linkLoopThroughTwoFolders()
    {
        TestTree tree;
        tree.WriteChart("a/a.bms", "ga", "ta", "aa");
        tree.WriteChart("b/b.bms", "gb", "tb", "ab");
        tree.MakeSymlink("../b", "a/toB");
        tree.MakeSymlink("../a", "b/toA");
        Window window;
        CHECKED(window.Search(tree.Root()));
        CHECKED(window.ExpectRows(tree.Root(), {{"R/a/", "ga", "ta", "aa"},
                                                {"R/a/toB/", "gb", "tb", "ab"},
                                                {"R/b/", "gb", "tb", "ab"},
                                                {"R/b/toA/", "ga", "ta", "aa"}}));
        CHECKED(window.ExpectFinalTitle(tree.Root()));
    }

    // Links to the root (absolute) and to its parent are not re-entered.
    void linksToTheRoot()
    {
        TestTree tree;
        tree.WriteChart("R/c.bms", "g", "c", "a");
        tree.WriteChart("R/sub/s.bms", "g", "s", "a");
        tree.MakeSymlink(tree.Path("R"), "R/sub/up");
        tree.MakeSymlink("..", "R/parent");
        Window window;
        CHECKED(window.Search(tree.Path("R")));
        CHECKED(window.ExpectRows(tree.Path("R"), {{"R/", "g", "c", "a"}, {"R/sub/", "g", "s", "a"}}));
        CHECKED(window.ExpectFinalTitle(tree.Path("R")));
    }

    // A dangling "x.bms", a link to itself and a two-link cycle, a FIFO, a
    // socket and (as root) /dev/zero and /dev/null nodes, all named like
    // charts: one row each with no values, nothing blocks, nothing is read
    // for ever.
    void danglingLinksAndSpecialFilesNamedLikeCharts()
    {
        TestTree tree;
        tree.MakeSymlink("nowhere", "x.bms");
        tree.MakeSymlink("self.bms", "self.bms");
        tree.MakeSymlink("cycle2.bms", "cycle1.bms");
        tree.MakeSymlink("cycle1.bms", "cycle2.bms");
        tree.MakeFifo("fifo.bms");
        CHECKED(Tool({"socket", QString::fromStdString(tree.Path("socket.bms"))}));
        tree.WriteChart("ok.bms", "g", "ok", "a");
        std::vector<Row> wanted(6, {"R/", kNoValues, kNoValues, kNoValues});
        if (::geteuid() == 0) {
            QCOMPARE(::mknod(tree.Path("zero.bms").c_str(), S_IFCHR | 0644, makedev(1, 5)), 0);
            QCOMPARE(::mknod(tree.Path("null.bms").c_str(), S_IFCHR | 0644, makedev(1, 3)), 0);
            wanted.resize(8, {"R/", kNoValues, kNoValues, kNoValues});
        }
        wanted.push_back({"R/", "g", "ok", "a"});
        Window window;
        CHECKED(window.Search(tree.Root(), 60000));
        CHECKED(window.ExpectRows(tree.Root(), wanted));
        CHECKED(window.ExpectFinalTitle(tree.Root()));
    }

    // Folders named "x.bms" and "y.BMS" are walked like any folder, and the
    // chart pass lists each as a chart with no values.
    void folderNamedLikeAChart()
    {
        TestTree tree;
        tree.WriteChart("x.bms/in.bms", "g", "in", "a");
        tree.WriteChart("y.BMS/z.bms", "g", "z", "a");
        Window window;
        CHECKED(window.Search(tree.Root()));
        CHECKED(window.ExpectRows(tree.Root(), {{"R/x.bms/", "g", "in", "a"},
                                                {"R/y.BMS/", "g", "z", "a"},
                                                {"R/", kNoValues, kNoValues, kNoValues},
                                                {"R/", kNoValues, kNoValues, kNoValues}}));
        CHECKED(window.ExpectFinalTitle(tree.Root()));
    }

    // big/ holds 100,000 charts and a subfolder inner/ with three, the root
    // two of its own. inner/ goes first (3 rows), then big/'s chart pass
    // begins below the limit and lists all of its 100,000; by the root's
    // chart pass 100,003 rows exist, past the limit of 65,536, so the root's
    // own charts are not listed. Sorting by title and back to found order
    // gives the found order again although the 16-bit key halves wrapped.
    void hundredThousandChartsInOneFolder()
    {
        TestTree tree;
        tree.MakeFolder("big");
        CHECKED(Tool({"many", QString::fromStdString(tree.Path("big")), "100000"}));
        for (const char* name : {"i1", "i2", "i3"})
            tree.WriteChart(std::string("big/inner/") + name + ".bms", "inner", name, "a");
        tree.WriteChart("own1.bms", "root", "own1", "a");
        tree.WriteChart("own2.bms", "root", "own2", "a");

        Window window;
        CHECKED(window.Search(tree.Root()));
        const ResultModel& model = *CTamboroDlgTesting::Model(window.Dlg());
        QCOMPARE(model.rowCount(), 100003);
        const std::string big = tree.Path("big/");
        std::vector<bool> seen(100000, false);
        for (int i = 0; i < model.rowCount(); ++i) {
            const std::string& folder = model.CellBytes(i, 0);
            const std::string& title = model.CellBytes(i, 2);
            if (i < 3) {
                QCOMPARE(folder, tree.Path("big/inner/"));
                continue;
            }
            QCOMPARE(folder, big);
            const int n = std::stoi(title);
            QVERIFY(n >= 0 && n < 100000 && !seen[static_cast<std::size_t>(n)]);
            seen[static_cast<std::size_t>(n)] = true;
            QCOMPARE(model.RowAt(i).index, uint32_t(i));
        }
        CHECKED(window.ExpectFinalTitle(tree.Root()));
        // A one-line note above the bottom strip tells the limit was reached.
        CTamboroDlg& shown = window.Dlg();
        const QRect listAlone = QRect(0, 0, shown.width(), shown.height() - 24);
        QLabel* note = CTamboroDlgTesting::RowLimitNoteOf(shown);
        QVERIFY(note->isVisible());
        QVERIFY2(note->text().contains(QStringLiteral("100,003")) &&
                     note->text().contains(QStringLiteral("tamboro-scan")),
                 qPrintable(note->text()));
        QCOMPARE(note->geometry().bottom(), CTamboroDlgTesting::PathEdit(shown)->y() - 4);
        QCOMPARE(CTamboroDlgTesting::List(shown)->geometry().bottom() + 1, note->y());
        QVERIFY(note->fontMetrics().horizontalAdvance(note->text()) < 2 * note->width() && note->height() < 30);

        std::vector<std::string> found;
        for (int i = 0; i < model.rowCount(); ++i)
            found.push_back(model.CellBytes(i, 2));
        CTamboroDlg& dlg = window.Dlg();
        for (int click = 0; click < 3; ++click)
            CTamboroDlgTesting::OnColumnClickList(dlg, kColumnTitle);
        QCOMPARE(CTamboroDlgTesting::SortModeOf(dlg), kSortFound);
        for (int i = 0; i < model.rowCount(); ++i) {
            if (model.CellBytes(i, 2) != found[static_cast<std::size_t>(i)])
                QFAIL(qPrintable(QStringLiteral("row %1 is not back in found order").arg(i)));
        }
        // The next search, below the limit, gives the list its place back.
        CHECKED(window.Search(tree.Path("big/inner")));
        QVERIFY(note->isHidden());
        QCOMPARE(CTamboroDlgTesting::List(dlg)->geometry(), listAlone);
    }

    // 3,000 nested folders, paths far past PATH_MAX, a chart every 500
    // levels: every level is walked and every chart listed with its whole
    // folder path.
    void treeThreeThousandFoldersDeep()
    {
        struct rlimit limit {};
        ::getrlimit(RLIMIT_NOFILE, &limit);
        if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < 3100)
            QSKIP("fewer than 3,100 descriptors may be open: the deepest folders would be passed over");
        TestTree tree;
        const DeepTreeRemover remover{tree.Root()};
        const std::string name = "deep_folder_name";
        CHECKED(Tool({"deep", QString::fromStdString(tree.Root()), "3000", QString::fromStdString(name), "500"}));
        Window window;
        CHECKED(window.Search(tree.Root()));
        std::vector<Row> wanted;
        std::string folder = "R/";
        for (int level = 1; level <= 3000; ++level) {
            folder += name + "/";
            if (level % 500 == 0)
                wanted.push_back({folder, kNoValues, "level " + std::to_string(level), kNoValues});
        }
        CHECKED(window.ExpectRows(tree.Root(), wanted));
        QCOMPARE(CTamboroDlgTesting::Model(window.Dlg())->CellBytes(0, 0).size(),
                 tree.Root().size() + 1 + 3000 * (name.size() + 1));
        CHECKED(window.ExpectFinalTitle(tree.Root()));
    }

    // A tree deeper than the open-file limit allows: the search lists what
    // it can and the note under the list says it ended early, instead of
    // passing the deepest folders over without a word.
    void treeDeeperThanTheOpenFileLimit()
    {
        TestTree tree;
        CHECKED(Tool({"deep", QString::fromStdString(tree.Root()), "300", "d", "100"}));
        Window window;
        struct rlimit saved {};
        ::getrlimit(RLIMIT_NOFILE, &saved);
        struct rlimit low = saved;
        low.rlim_cur = static_cast<rlim_t>(
            std::distance(std::filesystem::directory_iterator("/proc/self/fd"), std::filesystem::directory_iterator{}) +
            60);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &low), 0);
        window.Search(tree.Root());
        ::setrlimit(RLIMIT_NOFILE, &saved);
        if (QTest::currentTestFailed())
            return;
        QLabel* note = CTamboroDlgTesting::RowLimitNoteOf(window.Dlg());
        QVERIFY(!note->isHidden());
        QVERIFY2(note->text().contains(QStringLiteral("ulimit -n")), qPrintable(note->text()));
        // The next search, within the limit, hides it again.
        TestTree small;
        small.WriteChart("a.bms", "g", "t", "a");
        CHECKED(window.Search(small.Root()));
        QVERIFY(note->isHidden());
    }

    // Names and values that are valid in no charset, a UTF-8 surrogate, a
    // lone Shift-JIS lead byte, and "ソ", whose trail byte is "\": the rows
    // keep the bytes as found, and the shown text decodes them without
    // losing a row.
    void namesThatAreNoValidText()
    {
        const std::string ff = "\xff\xfe";       // invalid in UTF-8, Shift-JIS and EUC-KR
        const std::string sj = "\x81\x7f";       // Shift-JIS lead byte with a bad trail byte
        const std::string lone = "a\x83";        // a lone Shift-JIS lead byte at the end
        const std::string sur = "\xed\xa0\x80";  // a UTF-8 encoded surrogate
        const std::string so = "\x83\x5c";       // Shift-JIS "ソ"
        TestTree tree;
        tree.WriteChart(ff + "/" + sj + "/\xc3\x28.bms", sj, ff, sur);
        tree.WriteChart(lone + "/" + sur + ".bms", "g", lone, "a");
        tree.WriteChart(so + "/" + so + ".bms", "g", so, "a");
        tree.WriteFile("new\nline.bms", "#TITLE tab\there\\and\rcr\r\n");
        Window window;
        CHECKED(window.Search(tree.Root()));
        CHECKED(window.ExpectRows(tree.Root(), {{"R/" + ff + "/" + sj + "/", sj, ff, sur},
                                                {"R/" + lone + "/", "g", lone, "a"},
                                                {"R/" + so + "/", "g", so, "a"},
                                                {"R/", kNoValues, "tab\there\\and\rcr", kNoValues}}));
        const ResultModel& model = *CTamboroDlgTesting::Model(window.Dlg());
        bool soShown = false;
        for (int i = 0; i < model.rowCount(); ++i) {
            for (int column = 0; column < 4; ++column)
                QVERIFY(model.CellBytes(i, column).empty() || !model.CellText(i, column).isEmpty());
            if (model.CellBytes(i, 0) == tree.Path(so + "/")) {
                QCOMPARE(model.CellText(i, 0), QString::fromStdString(tree.Root()) + QStringLiteral("/ソ/"));
                QCOMPARE(model.CellText(i, 2), QStringLiteral("ソ"));
                soShown = true;
            }
        }
        QVERIFY(soShown);
        CHECKED(window.ExpectFinalTitle(tree.Root()));
    }

    // 1 MiB and 4 MiB of random bytes named ".bms" and "junk.bms": two rows
    // with no values (the junk holds no line starting "#GENRE " and so on).
    void binaryJunkNamedLikeCharts()
    {
        TestTree tree;
        CHECKED(Tool({"junk", QString::fromStdString(tree.Path(".bms")), "1048576", "1"}));
        CHECKED(Tool({"junk", QString::fromStdString(tree.Path("junk.bms")), "4194304", "2"}));
        Window window;
        CHECKED(window.Search(tree.Root()));
        CHECKED(window.ExpectRows(tree.Root(),
                                  {{"R/", kNoValues, kNoValues, kNoValues}, {"R/", kNoValues, kNoValues, kNoValues}}));
        CHECKED(window.ExpectFinalTitle(tree.Root()));
    }

    // As a user who cannot read them: a chart with mode 000 gives a row
    // with no values; a folder with mode 000 and one that can be entered
    // but not listed are passed over; a folder that can be listed but not
    // entered lists its chart with no values.
    void unreadableEntries()
    {
        if (::geteuid() == 0)
            QSKIP("root reads everything; the suite runs this again as an unprivileged user");
        TestTree tree;
        tree.WriteChart("ok.bms", "g", "ok", "a");
        tree.WriteChart("locked.bms", "g", "locked", "a");
        tree.WriteChart("closed/in.bms", "g", "closed", "a");
        tree.WriteChart("listonly/in.bms", "g", "listonly", "a");
        tree.WriteChart("passonly/sub/in.bms", "g", "passonly", "a");
        QCOMPARE(::chmod(tree.Path("locked.bms").c_str(), 0), 0);
        QCOMPARE(::chmod(tree.Path("closed").c_str(), 0), 0);
        QCOMPARE(::chmod(tree.Path("listonly").c_str(), 0644), 0);
        QCOMPARE(::chmod(tree.Path("passonly").c_str(), 0311), 0);
        Window window;
        CHECKED(window.Search(tree.Root()));
        CHECKED(window.ExpectRows(tree.Root(), {{"R/", "g", "ok", "a"},
                                                {"R/", kNoValues, kNoValues, kNoValues},
                                                {"R/listonly/", kNoValues, kNoValues, kNoValues}}));
        CHECKED(window.ExpectFinalTitle(tree.Root()));
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiHostileTreesTest)
#include "GuiHostileTreesTest.moc"
