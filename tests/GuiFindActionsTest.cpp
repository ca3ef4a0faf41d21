// The find bar, opening and copying rows, the chart-type menu item and the
// path box's completion, in the real window through real keys and clicks.
#include <algorithm>
#include <functional>

#include <QClipboard>
#include <QCompleter>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QToolTip>
#include <QUrl>
#include <unistd.h>

#include "dialog/FindBar.h"
#include "dialog/FolderUrl.h"
#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "models/RowFilterModel.h"
#include "platform/TextDecoder.h"
#include "search/FolderScan.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/PaintedText.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro {
namespace {

using test::TestTree;
using test::WaitUntil;

bool Ended(WorkerThread::Id id)
{
    return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended;
}

// The texts of one column as the list shows them, top to bottom.
QStringList Shown(CTamboroDlg& dlg, int column)
{
    QStringList out;
    QAbstractItemModel* model = CTamboroDlgTesting::List(dlg)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, column).data().toString();
    return out;
}

// The items of `all` that `wanted` holds, in the order of `all` (folders are
// found in the order the file system lists them).
QStringList InOrderOf(const QStringList& all, const QStringList& wanted)
{
    QStringList out;
    for (const QString& item : all)
        if (wanted.contains(item))
            out << item;
    return out;
}

QPoint RowCenter(CTamboroDlg& dlg, int row)
{
    ResultListView* list = CTamboroDlgTesting::List(dlg);
    return list->visualRect(list->model()->index(row, 2)).center();
}

// What a double-click delivers: press, release, press, double-click, release.
void DoubleClick(QWidget* widget, QPoint at)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
}

void PressCtrl(Qt::Key key)
{
    QTest::keyClick(QApplication::focusWidget(), key, Qt::ControlModifier);
}

// Folder names that are not UTF-8: 春の歌 in Shift-JIS, 사랑 and 똠방각하 in
// CP949 (똠 is one of its extension syllables).
const std::string kSjisSpringSong = "\x8f\x74\x82\xcc\x89\xcc";
const std::string kCp949Love = "\xbb\xe7\xb6\xfb";
const std::string kCp949Ttomtang = "\x8c\x63\xb9\xe6\xb0\xa2\xc7\xcf";

QString Decoded(const std::string& bytes)
{
    return QString::fromStdU16String(DecodePathToUtf16(bytes));
}

// What bash makes of `word`, as bytes.
QByteArray BashReads(const QString& word)
{
    QProcess bash;
    bash.start(QStringLiteral("bash"), {QStringLiteral("-c"), QStringLiteral("printf %s ") + word});
    bash.waitForFinished(10000);
    return bash.readAllStandardOutput();
}

// Catches what would go to the file manager.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

}  // namespace

class GuiFindActionsTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;
    QTemporaryDir m_config;
    TestTree m_tree;

    void Search(CTamboroDlg& dlg, const std::string& root)
    {
        CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(root));
        QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return Ended(id); }));
        CTamboroDlgTesting::ShowPendingResults(dlg);
    }

    void Show(CTamboroDlg& dlg)
    {
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.resize(700, 400);
        dlg.show();
        dlg.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
    }

    // Right-clicks the list at `at` (viewport coordinates) and clicks the
    // menu item whose text starts with `item`.
    void ClickMenuItem(CTamboroDlg& dlg, QPoint at, const QString& item)
    {
        bool clicked = false;
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (menu == nullptr || clicked)
                return;
            clicked = true;
            for (QAction* action : menu->actions()) {
                if (action->text().startsWith(item)) {
                    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
                    return;
                }
            }
            menu->close();
            QFAIL("no such menu item");
        });
        poll.start();
        // Through the window, which makes the context menu event of a right
        // click as the platform delivers it.
        QWidget* viewport = CTamboroDlgTesting::List(dlg)->viewport();
        QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, Qt::NoModifier, viewport->mapTo(&dlg, at));
        QVERIFY(WaitUntil([&] { return clicked; }, 5000));
    }

private slots:
    void initTestCase()
    {
        m_runtime.Use();
        // Settings of these tests stay in a folder of their own.
        QVERIFY(m_config.isValid());
        ::setenv("XDG_CONFIG_HOME", m_config.path().toUtf8().constData(), 1);
        // Found order: the subfolders first, then the root's charts.
        m_tree.WriteChart("R/soflan/a.bms", "Trance", "Plain", "A1");
        m_tree.WriteChart("R/x/b.bms", "Pop", "SOFLAN mix", "B2");
        m_tree.WriteChart("R/y/c.bms", "Pop",
                          "\xef\xbd\x93\xef\xbd\x8f\xef\xbd\x86\xef\xbd\x8c\xef\xbd\x81\xef\xbd\x8e",
                          "C3");  // ｓｏｆｌａｎ
        m_tree.WriteChart("R/z/d.bms", "Rock", "\xe3\x82\xbd\xe3\x83\x95\xe3\x83\xa9\xe3\x83\xb3", "D4");  // ソフラン
        m_tree.WriteChart("R/z/e.bms", "Rock", "\xef\xbd\xbf\xef\xbe\x8c\xef\xbe\x97\xef\xbe\x9d", "E5");  // ｿﾌﾗﾝ
        m_tree.WriteChart("R/f.bms", "Jazz", "Other", "F6");
    }

    void findBarNarrowsTheListAndClosesKeepingTheSelection()
    {
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, m_tree.Path("R"));
        const QStringList found = Shown(dlg, 2);
        QCOMPARE(found.size(), 6);
        const QRect listBefore = CTamboroDlgTesting::List(dlg)->geometry();
        const QRect pathBefore = CTamboroDlgTesting::PathEdit(dlg)->geometry();
        const QRect stopBefore = CTamboroDlgTesting::StopButton(dlg)->geometry();
        const WorkerThread::Id searched = CTamboroDlgTesting::LastSearchThreadId(dlg);

        CTamboroDlgTesting::PathEdit(dlg)->setFocus();
        PressCtrl(Qt::Key_F);
        FindBar* bar = CTamboroDlgTesting::FindBarWidget(dlg);
        QVERIFY(bar->isVisible());
        QCOMPARE(QApplication::focusWidget(), bar->TextBox());
        // The bar takes its height from the list; the bottom strip stays.
        QCOMPARE(CTamboroDlgTesting::List(dlg)->height(), listBefore.height() - bar->height());
        QCOMPARE(bar->geometry().top(), CTamboroDlgTesting::List(dlg)->geometry().bottom() + 1);
        QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->geometry(), pathBefore);
        QCOMPARE(CTamboroDlgTesting::StopButton(dlg)->geometry(), stopBefore);

        // Case and width: the folder "soflan" too.
        QTest::keyClicks(bar->TextBox(), QStringLiteral("soflan"));
        QCOMPARE(Shown(dlg, 2), InOrderOf(found, {"Plain", "SOFLAN mix", "ｓｏｆｌａｎ"}));
        QCOMPARE(bar->CountsText(), QStringLiteral("3 / 6"));

        // A kana query pasted over the text: katakana of both widths.
        QGuiApplication::clipboard()->setText(QStringLiteral("そふらん"));
        QTest::keyClick(bar->TextBox(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(bar->TextBox(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(Shown(dlg, 2), InOrderOf(found, {"ソフラン", "ｿﾌﾗﾝ"}));
        QCOMPARE(bar->CountsText(), QStringLiteral("2 / 6"));

        // Enter goes to the first shown row and searches nothing.
        QTest::keyClick(bar->TextBox(), Qt::Key_Return);
        QCOMPARE(QApplication::focusWidget(), CTamboroDlgTesting::List(dlg));
        QCOMPARE(CTamboroDlgTesting::List(dlg)->currentIndex().row(), 0);
        QCOMPARE(CTamboroDlgTesting::LastSearchThreadId(dlg), searched);
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->RowCountTotal(), 6);

        // Back in the bar, Down does the same; then pick the second row.
        QTest::mouseClick(bar->TextBox(), Qt::LeftButton);
        QTest::keyClick(bar->TextBox(), Qt::Key_Down);
        QCOMPARE(QApplication::focusWidget(), CTamboroDlgTesting::List(dlg));
        QTest::mouseClick(CTamboroDlgTesting::List(dlg)->viewport(), Qt::LeftButton, Qt::NoModifier, RowCenter(dlg, 1));

        // Escape in the bar closes it only: every row again, the pick kept.
        QTest::mouseClick(bar->TextBox(), Qt::LeftButton);
        QTest::keyClick(bar->TextBox(), Qt::Key_Escape);
        QVERIFY(!bar->isVisible());
        QVERIFY(!CTamboroDlgTesting::PostedQuitCode(dlg).has_value());
        QCOMPARE(CTamboroDlgTesting::List(dlg)->model()->rowCount(), 6);
        QCOMPARE(CTamboroDlgTesting::List(dlg)->geometry(), listBefore);
        const QModelIndexList picked = CTamboroDlgTesting::List(dlg)->selectionModel()->selectedRows(2);
        QCOMPARE(picked.size(), 1);
        QCOMPARE(picked[0].data().toString(), InOrderOf(found, {"ソフラン", "ｿﾌﾗﾝ"})[1]);

        // Ctrl+F opens it with the last query, and Ctrl+F closes it again.
        PressCtrl(Qt::Key_F);
        QCOMPARE(Shown(dlg, 2), InOrderOf(found, {"ソフラン", "ｿﾌﾗﾝ"}));
        PressCtrl(Qt::Key_F);
        QVERIFY(!bar->isVisible());
        QCOMPARE(CTamboroDlgTesting::List(dlg)->model()->rowCount(), 6);
    }

    // Rows arriving while filtered join in found order; a header click sorts
    // all rows and the filter keeps hiding the same ones.
    void filterHoldsWhileASearchAddsRowsAndAcrossSorts()
    {
        TestTree tree;
        for (int i = 0; i < 40; ++i) {
            const std::string name = "F" + std::to_string(100 + i);
            tree.WriteChart("R/" + name + "/a.bms", "g", name + (i % 3 == 0 ? " keep" : " drop"), "x");
        }
        CTamboroDlg dlg;
        CTamboroDlgTesting::SetWorkerHandOverPeriod(dlg, std::chrono::milliseconds(0));
        Show(dlg);
        CTamboroDlgTesting::PathEdit(dlg)->setFocus();
        PressCtrl(Qt::Key_F);
        QTest::keyClicks(CTamboroDlgTesting::FindBarWidget(dlg)->TextBox(), QStringLiteral("KEEP"));
        Search(dlg, tree.Path("R"));
        QStringList expected;
        for (int row = 0; row < CTamboroDlgTesting::Model(dlg)->RowCountTotal(); ++row)
            if (CTamboroDlgTesting::Model(dlg)->CellText(row, 2).endsWith(" keep"))
                expected << CTamboroDlgTesting::Model(dlg)->CellText(row, 2);
        QCOMPARE(Shown(dlg, 2), expected);
        QCOMPARE(CTamboroDlgTesting::FindBarWidget(dlg)->CountsText(), QStringLiteral("14 / 40"));

        QHeaderView* header = CTamboroDlgTesting::List(dlg)->header();
        const QPoint title(header->sectionViewportPosition(2) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, title);  // ascending
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, title);  // descending
        QCOMPARE(CTamboroDlgTesting::SortModeOf(dlg), kSortDescending);
        QStringList descending = expected;
        std::sort(descending.begin(), descending.end(), std::greater<>());
        QCOMPARE(Shown(dlg, 2), descending);
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->CellText(0, 2), QStringLiteral("F139 keep"));
    }

    void selectAllAndCopyTakeTheShownRowsInShownOrder()
    {
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, m_tree.Path("R"));
        const QString root = QString::fromStdString(m_tree.Path("R"));
        CTamboroDlgTesting::PathEdit(dlg)->setFocus();
        PressCtrl(Qt::Key_F);
        QTest::keyClicks(CTamboroDlgTesting::FindBarWidget(dlg)->TextBox(), QStringLiteral("pop"));
        QTest::keyClick(CTamboroDlgTesting::FindBarWidget(dlg)->TextBox(), Qt::Key_Down);
        PressCtrl(Qt::Key_A);
        QCOMPARE(CTamboroDlgTesting::List(dlg)->selectionModel()->selectedRows().size(), 2);
        QGuiApplication::clipboard()->clear();
        PressCtrl(Qt::Key_C);
        QStringList lines = QGuiApplication::clipboard()->text().split('\n');
        const QStringList pop = InOrderOf(Shown(dlg, 2), {"SOFLAN mix", "ｓｏｆｌａｎ"});
        QCOMPARE(pop.size(), 2);
        QCOMPARE(lines.size(), 3);
        const QString x = root + "/x/\tPop\tSOFLAN mix\tB2";
        const QString y = root + "/y/\tPop\tｓｏｆｌａｎ\tC3";
        QCOMPARE(lines[0], pop[0] == "SOFLAN mix" ? x : y);
        QCOMPARE(lines[1], pop[0] == "SOFLAN mix" ? y : x);
        QCOMPARE(lines[2], QString());

        // Sorted descending by artist, two rows picked bottom first: copied
        // in the order the list shows them.
        QTest::keyClick(CTamboroDlgTesting::FindBarWidget(dlg)->TextBox(), Qt::Key_Escape);
        QHeaderView* header = CTamboroDlgTesting::List(dlg)->header();
        const QPoint artist(header->sectionViewportPosition(3) + 5, header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, artist);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, artist);
        QTest::mouseClick(CTamboroDlgTesting::List(dlg)->viewport(), Qt::LeftButton, Qt::NoModifier, RowCenter(dlg, 5));
        QTest::mouseClick(CTamboroDlgTesting::List(dlg)->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          RowCenter(dlg, 0));
        PressCtrl(Qt::Key_C);
        lines = QGuiApplication::clipboard()->text().split('\n');
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], root + "/\tJazz\tOther\tF6");
        QCOMPARE(lines[1], root + "/soflan/\tTrance\tPlain\tA1");

        // The menu copies the path of the row under the pointer.
        ClickMenuItem(dlg, RowCenter(dlg, 5), QStringLiteral("フォルダのパスをコピー"));
        QCOMPARE(QGuiApplication::clipboard()->text(), root + "/soflan/");
    }

    // The URL handed to the file manager holds the folder's bytes, here a
    // Shift-JIS name whose second byte is "\" and a name with "#".
    void doubleClickOpensTheRowsFolder()
    {
        TestTree tree;
        const std::string sjis = "R/\x83\x5c\x83\x74 #1";  // "ソフ #1" in Shift-JIS
        tree.WriteChart(sjis + "/a.bms", "g", "t", "a");
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, tree.Path("R"));
        DoubleClick(CTamboroDlgTesting::List(dlg)->viewport(), RowCenter(dlg, 0));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.urls.size(), 1);
        QVERIFY(catcher.urls[0].isLocalFile());
        QCOMPARE(LocalPathBytesOf(catcher.urls[0]).toStdString(), tree.Path(sjis) + "/");

        // A root typed relative to the working folder opens as absolute.
        const QUrl relative = FolderUrl("songs/a b/");
        QVERIFY(relative.host().isEmpty());
        QCOMPARE(LocalPathBytesOf(relative), QFile::encodeName(QDir::currentPath()) + "/songs/a b/");
    }

    // A root typed relative to a working folder whose name is Shift-JIS:
    // the URL carries the working folder's bytes.
    void relativeRootInAWorkingFolderNotInUtf8()
    {
        TestTree tree;
        tree.WriteChart(kSjisSpringSong + "/R/a.bms", "g", "t", "a");
        const std::string workingFolder = tree.Path(kSjisSpringSong);
        char before[4096];
        QVERIFY(::getcwd(before, sizeof before) != nullptr);
        QCOMPARE(::chdir(workingFolder.c_str()), 0);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
        {
            CTamboroDlg dlg;
            Show(dlg);
            Search(dlg, "R");
            DoubleClick(CTamboroDlgTesting::List(dlg)->viewport(), RowCenter(dlg, 0));
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(::chdir(before), 0);
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(LocalPathBytesOf(catcher.urls[0]).toStdString(), workingFolder + "/R/");
    }

    // With no program to open folders with, a double-click says so in one
    // message box that names the folder.
    void openingWithoutALauncherSaysSo()
    {
        TestTree tree;
        tree.WriteChart("R/" + kSjisSpringSong + "/a.bms", "g", "t", "a");
        tree.MakeFolder("empty-bin");
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, tree.Path("R"));
        test::MessageBoxWatcher boxes;
        {
            const test::ScopedEnv path("PATH", tree.Path("empty-bin").c_str());
            const test::ScopedEnv desktop("XDG_CURRENT_DESKTOP", nullptr);
            const test::ScopedEnv session("DESKTOP_SESSION", nullptr);
            const test::ScopedEnv browser("BROWSER", nullptr);
            const test::ScopedEnv defaultBrowser("DEFAULT_BROWSER", nullptr);
            DoubleClick(CTamboroDlgTesting::List(dlg)->viewport(), RowCenter(dlg, 0));
            QVERIFY(WaitUntil([&] { return !boxes.seen.empty(); }, 5000));
        }
        QTest::qWait(50);
        QCOMPARE(boxes.seen.size(), std::size_t(1));
        QVERIFY2(boxes.seen[0].text.contains(Decoded(tree.Path("R/" + kSjisSpringSong) + "/")),
                 qPrintable(boxes.seen[0].text));
        QCOMPARE(boxes.seen[0].owner, static_cast<QWidget*>(&dlg));
    }

    // The path copied from a folder named in Shift-JIS opens that folder:
    // pasted into the path box (as the window copies it, or as its text
    // alone), read by a shell, and as the file manager's URL.
    void copiedPathOfAFolderNotInUtf8FindsItAgain()
    {
        TestTree tree;
        const std::string folder = tree.Path("R/" + kSjisSpringSong + "/x 'y'") + "/";
        tree.WriteChart("R/" + kSjisSpringSong + "/x 'y'/a.bms", "g", "t", "a");
        tree.WriteChart("R/other/b.bms", "g", "u", "a");
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, tree.Path("R"));
        int row = 0;
        while (CTamboroDlgTesting::Model(dlg)->CellBytes(CTamboroDlgTesting::Filter(dlg)->SourcePosition(row), 0) !=
               folder)
            ++row;
        ClickMenuItem(dlg, RowCenter(dlg, row), QStringLiteral("フォルダのパスをコピー"));
        const QMimeData* copied = QGuiApplication::clipboard()->mimeData();
        QCOMPARE(copied->urls().size(), 1);
        QCOMPARE(LocalPathBytesOf(copied->urls()[0]).toStdString(), folder);
        QCOMPARE(BashReads(copied->text()).toStdString(), folder);
        const QString copiedText = copied->text();

        auto pasteAndSearch = [&] {
            QTest::mouseClick(CTamboroDlgTesting::PathEdit(dlg), Qt::LeftButton);
            QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_V, Qt::ControlModifier);
            QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(), Decoded(folder));
            QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
            const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
            QVERIFY(WaitUntil([&] { return Ended(id); }));
            CTamboroDlgTesting::ShowPendingResults(dlg);
            QCOMPARE(CTamboroDlgTesting::Model(dlg)->RowCountTotal(), 1);
            QCOMPARE(CTamboroDlgTesting::Model(dlg)->CellBytes(0, 0), folder);
        };
        CTamboroDlgTesting::PathEdit(dlg)->clear();
        pasteAndSearch();
        QGuiApplication::clipboard()->setText(copiedText);  // as a terminal copies it back
        CTamboroDlgTesting::PathEdit(dlg)->setText(QStringLiteral("/elsewhere"));
        pasteAndSearch();
        // Typing on below a pasted folder keeps its bytes.
        QTest::mouseClick(CTamboroDlgTesting::PathEdit(dlg), Qt::LeftButton);
        QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_End);
        QTest::keyClicks(CTamboroDlgTesting::PathEdit(dlg), QStringLiteral("nothing-here"));
        QCOMPARE(CTamboroDlgTesting::PathBytes(dlg), folder + "nothing-here");
    }

    // Folders whose names are not UTF-8 are offered decoded as the list
    // decodes them; the one picked is searched by its bytes.
    void completionOffersFoldersNotInUtf8()
    {
        TestTree tree;
        for (const std::string& name : {kSjisSpringSong, kCp949Love, kCp949Ttomtang, std::string("Songs")})
            tree.WriteChart("R/" + name + "/a.bms", "g", name, "a");
        for (const std::string& name : {kCp949Ttomtang, kSjisSpringSong}) {
            CTamboroDlg dlg;
            Show(dlg);
            CTamboroDlgTesting::PathEdit(dlg)->setFocus();
            QTest::keyClicks(CTamboroDlgTesting::PathEdit(dlg), QString::fromStdString(tree.Path("R/")));
            QCompleter* completer = CTamboroDlgTesting::PathEdit(dlg)->completer();
            QVERIFY(WaitUntil([&] { return completer->completionCount() == 4; }, 10000));
            QStringList offered;
            for (int i = 0; i < completer->completionCount(); ++i)
                offered << completer->completionModel()->index(i, 0).data().toString();
            QStringList expected = {Decoded(kSjisSpringSong), Decoded(kCp949Love), Decoded(kCp949Ttomtang), "Songs"};
            QCOMPARE(expected.join(u' '), QStringLiteral("春の歌 사랑 똠방각하 Songs"));
            offered.sort();
            expected.sort();
            QCOMPARE(offered, expected);

            QAbstractItemView* popup = completer->popup();
            QVERIFY(WaitUntil([&] { return popup->isVisible(); }, 5000));
            do
                QTest::keyClick(popup, Qt::Key_Down);
            while (popup->currentIndex().data().toString() != Decoded(name));
            QTest::keyClick(popup, Qt::Key_Return);
            QCOMPARE(CTamboroDlgTesting::PathEdit(dlg)->text(),
                     QString::fromStdString(tree.Path("R/")) + Decoded(name));
            QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
            const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
            QVERIFY(WaitUntil([&] { return Ended(id); }));
            CTamboroDlgTesting::ShowPendingResults(dlg);
            QCOMPARE(CTamboroDlgTesting::Model(dlg)->RowCountTotal(), 1);
            QCOMPARE(CTamboroDlgTesting::Model(dlg)->CellBytes(0, 2), name);
        }
    }

    // "~" and "~/..." name the home folder, for searching and completing.
    void tildeIsTheHomeFolder()
    {
        TestTree home;
        home.WriteChart("BMS/pack/a.bms", "g", "home chart", "a");
        const test::ScopedEnv env("HOME", home.Root().c_str());
        CTamboroDlg dlg;
        Show(dlg);
        CTamboroDlgTesting::PathEdit(dlg)->setFocus();
        QTest::keyClicks(CTamboroDlgTesting::PathEdit(dlg), QStringLiteral("~/"));
        QCompleter* completer = CTamboroDlgTesting::PathEdit(dlg)->completer();
        QVERIFY(WaitUntil([&] { return completer->completionCount() == 1; }, 10000));
        QCOMPARE(completer->completionModel()->index(0, 0).data().toString(), QStringLiteral("BMS"));
        QTest::keyClicks(CTamboroDlgTesting::PathEdit(dlg), QStringLiteral("BMS"));
        QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
        const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return Ended(id); }));
        CTamboroDlgTesting::ShowPendingResults(dlg);
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->RowCountTotal(), 1);
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->CellBytes(0, 0), home.Path("BMS/pack/"));
        CTamboroDlgTesting::PathEdit(dlg)->setText(QStringLiteral("~"));
        QCOMPARE(CTamboroDlgTesting::PathBytes(dlg), home.Root());
    }

    void chartTypeMenuItemListsEveryTypeAndIsRemembered()
    {
        TestTree tree;
        for (const char* name : {"R/a.bms", "R/b.BME", "R/c.bml", "R/d.pms", "R/e.bmsx", "R/S/f.bme"})
            tree.WriteChart(name, "g", name + 2, "a");
        tree.WriteFile("R/g.bmson", R"({"info":{"title":"g.bmson","genre":"g","artist":"a"}})");
        // The order one pass over the folders gives with all five endings.
        test::CollectingSink sink;
        FolderScan(sink, {.types = *ChartTypes::Parse("bms,bme,bml,pms,bmson")}).Run(tree.Path("R"));
        QStringList everyType;
        for (const ChartRow& row : sink.rows)
            everyType << QString::fromStdString(row.Title());
        QCOMPARE(everyType.size(), 6);
        QVERIFY(everyType.contains(QStringLiteral("g.bmson")));

        {
            CTamboroDlg dlg;
            Show(dlg);
            QVERIFY(!CTamboroDlgTesting::AllChartTypes(dlg));
            Search(dlg, tree.Path("R"));
            QCOMPARE(Shown(dlg, 2), QStringList({"a.bms"}));
            ClickMenuItem(dlg, QPoint(20, 60), QStringLiteral("すべての譜面形式"));
            QVERIFY(CTamboroDlgTesting::AllChartTypes(dlg));
            QFile conf(m_config.filePath(QStringLiteral("Tamboro/tamboro.conf")));
            QVERIFY(conf.open(QIODevice::ReadOnly));
            QVERIFY(conf.readAll().contains("allChartTypes=true"));
            Search(dlg, tree.Path("R"));
            QCOMPARE(Shown(dlg, 2), everyType);
        }
        // The next run starts with it on; turned off, it stays off.
        CTamboroDlg dlg;
        QVERIFY(CTamboroDlgTesting::AllChartTypes(dlg));
        Show(dlg);
        ClickMenuItem(dlg, QPoint(20, 60), QStringLiteral("すべての譜面形式"));
        QVERIFY(!CTamboroDlgTesting::AllChartTypes(dlg));
        QVERIFY(!CTamboroDlgTesting::AllChartTypes(CTamboroDlg()));
    }

    void pathBoxCompletesFoldersOnly()
    {
        TestTree tree;
        tree.MakeFolder("R/Songs");
        tree.MakeFolder("R/Sounds");
        tree.WriteFile("R/Sonata.bms", "x");
        CTamboroDlg dlg;
        Show(dlg);
        const QString typed = QString::fromStdString(tree.Path("R/So"));
        CTamboroDlgTesting::PathEdit(dlg)->setFocus();
        QTest::keyClicks(CTamboroDlgTesting::PathEdit(dlg), typed);
        QCompleter* completer = CTamboroDlgTesting::PathEdit(dlg)->completer();
        QVERIFY(completer != nullptr);
        QVERIFY(WaitUntil([&] { return completer->completionCount() == 2; }, 10000));
        QStringList offered;
        for (int i = 0; i < completer->completionCount(); ++i)
            offered << completer->completionModel()->index(i, 0).data().toString();
        offered.sort();
        QCOMPARE(offered, QStringList({"Songs", "Sounds"}));

        // Enter with no folder picked searches what was typed.
        QAbstractItemView* popup = completer->popup();
        QVERIFY(WaitUntil([&] { return popup->isVisible(); }, 5000));
        QTest::keyClick(popup, Qt::Key_Return);
        QVERIFY(!popup->isVisible());
        QVERIFY(CTamboroDlgTesting::LastSearchThreadId(dlg) != 0);
        const WorkerThread::Id searched = CTamboroDlgTesting::LastSearchThreadId(dlg);
        QVERIFY(WaitUntil([&] { return Ended(searched); }));
        QCOMPARE(QString::fromStdString(CTamboroDlgTesting::PathBytes(dlg)), typed);

        // Enter on a picked folder takes it and searches nothing.
        QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_Backspace);
        QVERIFY(WaitUntil([&] { return popup->isVisible(); }, 5000));
        QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        const QString folder = QString::fromStdString(tree.Path("R/"));
        QVERIFY(CTamboroDlgTesting::PathEdit(dlg)->text() == folder + "Songs" ||
                CTamboroDlgTesting::PathEdit(dlg)->text() == folder + "Sounds");
        QCOMPARE(CTamboroDlgTesting::LastSearchThreadId(dlg), searched);
    }

    // The check of the searched root from the list's menu: its problems come
    // in a window of their own, grouped by kind, named in Japanese, folders
    // cut in the middle (their own folder in view, the full path as the
    // tooltip); Ctrl+C copies them as the command prints them, a
    // double-click opens a problem's folder, and the charts they name are
    // selected in the main list.
    void libraryCheckFromTheMenu()
    {
        TestTree tree;
        tree.WriteFile("R/a/song.bms", "#TITLE song\r\n#WAV01 kick.wav\r\n#WAV02 Snare.wav\r\n");
        tree.WriteFile("R/a/snare.wav", "");
        tree.WriteFile("R/b/x.bms", "#TITLE same\r\n");
        tree.WriteFile("R/c/y.bms", "#TITLE same\r\n");
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, tree.Path("R"));
        ClickMenuItem(dlg, RowCenter(dlg, 0), QStringLiteral("ライブラリを検査"));
        QWidget* view = nullptr;
        QVERIFY(WaitUntil([&] { return (view = dlg.findChild<QWidget*>(QStringLiteral("CheckView"))) != nullptr; }));
        auto* table = view->findChild<QTableView*>(QStringLiteral("CheckProblems"));
        QVERIFY(WaitUntil([&] { return table->model()->rowCount() == 4; }));
        QVERIFY(QTest::qWaitForWindowActive(view));

        const std::string a = tree.Path("R/a/");
        QStringList expected{
            QString::fromStdString("duplicate\t" + tree.Path("R/b/") + "\tx.bms\tf456c59d82165b15b9733e348c41d41c"),
            QString::fromStdString("duplicate\t" + tree.Path("R/c/") + "\ty.bms\tf456c59d82165b15b9733e348c41d41c"),
            QString::fromStdString("missing-file\t" + a + "\tsong.bms\tkick.wav"),
            QString::fromStdString("case-mismatch\t" + a + "\tsong.bms\tSnare.wav\tsnare.wav"),
        };
        QStringList kinds;
        for (int row = 0; row < 4; ++row)
            kinds << test::PaintedTextIn(*table->viewport(), table->visualRect(table->model()->index(row, 0)));
        QCOMPARE(kinds, QStringList({"重複", "重複", "ファイルなし", "大文字・小文字違い"}));
        test::DragDivider(table->horizontalHeader(), 1, 90 - table->horizontalHeader()->sectionSize(1));
        for (int row = 0; row < 4; ++row) {
            const QModelIndex folder = table->model()->index(row, 1);
            const QString full = folder.data().toString();
            const QString painted = test::PaintedTextIn(*table->viewport(), table->visualRect(folder));
            QVERIFY2(painted.contains(QStringLiteral("…/")) && painted.endsWith(full.right(3)) &&
                         full.startsWith(painted.section(QStringLiteral("…/"), 0, 0)),
                     qPrintable(painted));
            const QPoint at = table->visualRect(folder).center();
            QHelpEvent help(QEvent::ToolTip, at, table->viewport()->mapToGlobal(at));
            QCoreApplication::sendEvent(table->viewport(), &help);
            QCOMPARE(QToolTip::isVisible() ? QToolTip::text() : QString(), full);
            QToolTip::hideText();
        }

        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                          table->visualRect(table->model()->index(0, 1)).center());
        // To the table itself, whichever widget had the focus before.
        QTest::keyClick(table, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(table, Qt::Key_C, Qt::ControlModifier);
        QStringList copied = QGuiApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        // Grouped by kind: the duplicates (in found order) first.
        QCOMPARE(copied.mid(2), expected.mid(2));
        copied = copied.mid(0, 2);
        copied.sort();
        QCOMPARE(copied, expected.mid(0, 2));

        // The missing sound's row: its folder opens, its chart is selected.
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
        DoubleClick(table->viewport(), table->visualRect(table->model()->index(2, 1)).center());
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.urls.size(), 1);
        QCOMPARE(LocalPathBytesOf(catcher.urls[0]).toStdString(), a);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier,
                          table->visualRect(table->model()->index(2, 1)).center());
        QPushButton* select = nullptr;
        for (QPushButton* button : view->findChildren<QPushButton*>())
            if (button->text().startsWith(QStringLiteral("一覧で選択")))
                select = button;
        QVERIFY(select != nullptr);
        QTest::mouseClick(select, Qt::LeftButton);
        const QModelIndexList selected = CTamboroDlgTesting::List(dlg)->selectionModel()->selectedRows(2);
        QCOMPARE(selected.size(), 1);
        QCOMPARE(selected[0].data().toString(), QStringLiteral("song"));
        view->close();
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiFindActionsTest)
#include "GuiFindActionsTest.moc"
