// The folder column and the columns' settings, driven through the header and
// the list with real clicks: a cut folder keeps its last folder in view, the
// header's menu shows folders relative to the root and any column, a
// double-click on a divider fits the column, widths, order and the columns
// shown outlive the window, and a folder is read again from the list's menu.
#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolTip>

#include "dialog/ResultListView.h"
#include "dialog/SettingsFile.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/PaintedText.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro {
namespace {

using test::Divider;
using test::DragDivider;
using test::TestTree;
using test::WaitUntil;

const QString kChartFolder = QStringLiteral("[roma-P] 乙女ｱｲｽ神話/");
const char kDeepChart[] = "R/Events/PABAT! 2017/BMS Collection/[roma-P] 乙女ｱｲｽ神話/x.bms";

void Show(CTamboroDlg& dlg)
{
    CTamboroDlgTesting::OnInitDialog(dlg);
    dlg.resize(900, 400);
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
}

void Search(CTamboroDlg& dlg, const std::string& root)
{
    CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(root));
    QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
    const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
    QVERIFY(WaitUntil([id] { return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended; }));
    CTamboroDlgTesting::ShowPendingResults(dlg);
}

QHeaderView* Header(CTamboroDlg& dlg)
{
    return CTamboroDlgTesting::List(dlg)->header();
}

QString ShownFolder(CTamboroDlg& dlg)
{
    ResultListView* list = CTamboroDlgTesting::List(dlg);
    return list->ShownFolderText(list->model()->index(0, 0));
}

// Whether `painted` keeps what the folder column promises of `full`: the
// whole path; or its start, "…/" and its end, the folder `own` whole (or
// `own` alone); or, when that does not fit, "…" and the end of `own`. `ownWhole` tells
// which of the last two it was.
bool KeepsOwnFolder(const QString& painted, const QString& full, const QString& own, bool& ownWhole)
{
    const QString gap = QStringLiteral("…/");
    const qsizetype cut = painted.indexOf(gap);
    ownWhole = painted == full || painted == own ||
               (cut >= 0 && full.startsWith(painted.left(cut)) && full.endsWith(painted.mid(cut + 2)) &&
                painted.endsWith(QLatin1Char('/') + own));
    return ownWhole || (painted.startsWith(QStringLiteral("…")) && painted.size() > 1 && own.endsWith(painted.mid(1)));
}

QString Tooltip(CTamboroDlg& dlg)
{
    ResultListView* list = CTamboroDlgTesting::List(dlg);
    const QPoint at = list->visualRect(list->model()->index(0, 0)).center();
    QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
    QCoreApplication::sendEvent(list->viewport(), &help);
    const QString text = QToolTip::isVisible() ? QToolTip::text() : QString();
    QToolTip::hideText();
    return text;
}

// Right-clicks `viewport` at `at` and clicks the menu's item `item`.
void ClickMenuItem(CTamboroDlg& dlg, QWidget* viewport, QPoint at, const QString& item)
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
            if (action->text() == item) {
                QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
                return;
            }
        }
        menu->close();
    });
    poll.start();
    // Through the window, which makes the context menu event of a right
    // click as the platform delivers it.
    QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, Qt::NoModifier, viewport->mapTo(&dlg, at));
    QVERIFY(WaitUntil([&] { return clicked; }, 5000));
}

// Right-clicks the header over `column` and clicks the menu's item `item`.
void ClickHeaderMenuItem(CTamboroDlg& dlg, int column, const QString& item)
{
    QHeaderView* header = Header(dlg);
    const QPoint at(header->sectionViewportPosition(column) + 20, header->height() / 2);
    ClickMenuItem(dlg, header->viewport(), at, item);
}

QStringList ShownColumn(CTamboroDlg& dlg, int column)
{
    QStringList texts;
    const QAbstractItemModel* model = CTamboroDlgTesting::List(dlg)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

}  // namespace

class GuiFolderColumnTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;
    QTemporaryDir m_config;
    TestTree m_tree;

private slots:
    void initTestCase()
    {
        m_runtime.Use();
        // Settings of these tests stay in a folder of their own.
        QVERIFY(m_config.isValid());
        ::setenv("XDG_CONFIG_HOME", m_config.path().toUtf8().constData(), 1);
        m_tree.WriteChart(kDeepChart, "g", "t", "a");
    }

    // Each test starts with nothing remembered.
    void init() { OpenSettingsFile()->clear(); }

    // A folder too long for its column keeps its start and its own folder
    // around "…/", or the end of its own folder when that alone is too
    // long; the tooltip has the full path; a double-click on the divider
    // fits the column to the path.
    void cutFolderKeepsItsLastComponentAndDividerFitsIt()
    {
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, m_tree.Path("R"));
        const QString full = QString::fromStdString(m_tree.Path(kDeepChart)).section(QLatin1Char('/'), 0, -2) + '/';
        QCOMPARE(CTamboroDlgTesting::Model(dlg)->CellText(0, 0), full);
        QHeaderView* header = Header(dlg);
        QCOMPARE(header->sectionSize(0), 250);

        const QString shown = ShownFolder(dlg);
        QVERIFY2(shown.startsWith(QStringLiteral("/")) && shown.contains(QStringLiteral("…/")) &&
                     shown.endsWith(QLatin1Char('/') + kChartFolder),
                 qPrintable(shown));
        QCOMPARE(Tooltip(dlg), full);

        DragDivider(header, 0, 60 - header->sectionSize(0));
        QCOMPARE(header->sectionSize(0), 60);
        const QString end = ShownFolder(dlg);
        QVERIFY2(end.startsWith(QStringLiteral("…")) && kChartFolder.endsWith(end.mid(1)) && end.size() > 2,
                 qPrintable(end));

        QTest::mouseDClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, Divider(header, 0));
        QVERIFY(header->sectionSize(0) > 250);
        QCOMPARE(ShownFolder(dlg), full);
        QCOMPARE(Tooltip(dlg), QString());
    }

    // At every width of the column, the text painted in a folder's cell
    // (after the style had its say) keeps its own folder whole, or its end
    // when even that does not fit, and is the text the tooltip goes by.
    void paintedFolderKeepsItsOwnFolderAtEveryWidth()
    {
        TestTree tree;
        const QStringList own{QStringLiteral("bms0023/"), kChartFolder};
        tree.WriteFile("R/Packs/insane_pack_vol3/bms0023/x.bms", "#TITLE x\r\n");
        tree.WriteFile(std::string("R/") + kDeepChart, "#TITLE y\r\n");
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, tree.Path("R"));
        ResultListView* list = CTamboroDlgTesting::List(dlg);
        QCOMPARE(list->model()->rowCount(), 2);
        QHeaderView* header = Header(dlg);
        QStringList faults;
        std::array<int, 2> widestCut{0, 0};  // the widest width that cut a folder's own name
        for (int width = 40; width <= 520; ++width) {
            DragDivider(header, 0, width - header->sectionSize(0));
            QCOMPARE(header->sectionSize(0), width);
            for (int row = 0; row < 2; ++row) {
                const QModelIndex cell = list->model()->index(row, 0);
                const QString full = cell.data().toString();
                const QString& ownFolder = full.endsWith(own[0]) ? own[0] : own[1];
                const QString painted = test::PaintedTextIn(*list->viewport(), list->visualRect(cell));
                bool ownWhole = false;
                if (!KeepsOwnFolder(painted, full, ownFolder, ownWhole) || painted != list->ShownFolderText(cell))
                    faults << QStringLiteral("%1 px: %2 | %3").arg(width).arg(painted, list->ShownFolderText(cell));
                if (!ownWhole)
                    widestCut[static_cast<std::size_t>(row)] = width;
            }
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
        // Each own folder was cut at the narrow end and shown whole beyond.
        QVERIFY(widestCut[0] > 40 && widestCut[1] > 40 && widestCut[0] < 400 && widestCut[1] < 400);
    }

    // The header's menu switches folders to paths relative to the root and
    // back, without sorting; the choice holds in a new window.
    void headerMenuShowsFoldersRelativeToTheRoot()
    {
        // Relative, the start of the path is the root's first folder.
        auto isRelative = [](const QString& shown) {
            return shown.startsWith(QStringLiteral("Events/")) && shown.endsWith(kChartFolder);
        };
        const QString item = QStringLiteral("ルートからの相対パスで表示");
        {
            CTamboroDlg dlg;
            Show(dlg);
            Search(dlg, m_tree.Path("R"));
            QVERIFY(!isRelative(ShownFolder(dlg)));
            ClickHeaderMenuItem(dlg, 0, item);
            QVERIFY2(isRelative(ShownFolder(dlg)), qPrintable(ShownFolder(dlg)));
            QVERIFY(!CTamboroDlgTesting::SortColumnOf(dlg).has_value());
            QCOMPARE(CTamboroDlgTesting::Model(dlg)->headerData(0, Qt::Horizontal).toString(),
                     QStringLiteral("ディレクトリ"));
            QVERIFY(Tooltip(dlg).startsWith(QString::fromStdString(m_tree.Root())));
        }
        CTamboroDlg again;
        Show(again);
        Search(again, m_tree.Path("R"));
        QVERIFY(isRelative(ShownFolder(again)));
        ClickHeaderMenuItem(again, 2, item);
        QVERIFY(ShownFolder(again).startsWith(QLatin1Char('/')));
    }

    // Widths and order the player chose come back in a new window; the
    // last column takes the free width.
    void columnWidthsAndOrderComeBackInANewWindow()
    {
        {
            CTamboroDlg dlg;
            Show(dlg);
            QHeaderView* header = Header(dlg);
            QCOMPARE(header->sectionSize(2), 200);
            QCOMPARE(header->sectionPosition(3) + header->sectionSize(3), header->viewport()->width());
            DragDivider(header, 1, 50);
            QCOMPARE(header->sectionSize(1), 150);
            // Title dragged in front of genre.
            const QPoint title(header->sectionViewportPosition(2) + 20, header->height() / 2);
            const QPoint genre(header->sectionViewportPosition(1) + 5, header->height() / 2);
            QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, title);
            QTest::mouseMove(header->viewport(), title - QPoint(30, 0));
            QTest::mouseMove(header->viewport(), genre);
            QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, genre);
            QCOMPARE(header->visualIndex(2), 1);
            QVERIFY(!CTamboroDlgTesting::SortColumnOf(dlg).has_value());
        }
        CTamboroDlg dlg;
        Show(dlg);
        QHeaderView* header = Header(dlg);
        QCOMPARE(header->sectionSize(0), 250);
        QCOMPARE(header->sectionSize(1), 150);
        QCOMPARE(header->sectionSize(2), 200);
        QCOMPARE(header->visualIndex(2), 1);
        QCOMPARE(header->sectionPosition(3) + header->sectionSize(3), header->viewport()->width());
        // On a narrow window it keeps its own width.
        dlg.resize(dlg.minimumSize());
        QTRY_VERIFY(header->viewport()->width() < 700);
        QCOMPARE(header->sectionSize(3), 100);
    }

    // The header's menu shows any column; digests fill in after the
    // search; Ctrl+C copies the columns shown in their order; the columns
    // shown outlive the window; a folder read again updates its rows.
    void headerMenuShowsAnyColumnAndAFolderIsReadAgain()
    {
        TestTree tree;
        const std::string chart = "#TITLE a\r\n#PLAYLEVEL 12\r\n";
        tree.WriteFile("R/f/a.bms", chart);
        const QString md5 = QCryptographicHash::hash(QByteArray::fromStdString(chart), QCryptographicHash::Md5).toHex();
        const std::vector<ListColumn> shown{kColumnFolder, kColumnGenre, kColumnTitle,
                                            kColumnArtist, kColumnLevel, kColumnMd5};
        {
            CTamboroDlg dlg;
            Show(dlg);
            Search(dlg, tree.Path("R"));
            ClickHeaderMenuItem(dlg, 0, QStringLiteral("MD5"));
            QVERIFY(WaitUntil([&] { return ShownColumn(dlg, kColumnMd5) == QStringList{md5}; }));
            ClickHeaderMenuItem(dlg, 0, QStringLiteral("レベル"));
            QCOMPARE(CTamboroDlgTesting::List(dlg)->ShownColumns(), shown);
            QCOMPARE(OpenSettingsFile()->value("columns").toString(),
                     QStringLiteral("folder,genre,title,artist,level,md5"));
            CTamboroDlgTesting::List(dlg)->setFocus();
            QTest::keyClick(CTamboroDlgTesting::List(dlg), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(CTamboroDlgTesting::List(dlg), Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QGuiApplication::clipboard()->text(),
                     QString::fromStdString(tree.Path("R/f/")) + "\t\ta\t\t12\t" + md5 + "\n");
        }
        CTamboroDlg dlg;
        Show(dlg);
        QCOMPARE(CTamboroDlgTesting::List(dlg)->ShownColumns(), shown);
        Search(dlg, tree.Path("R"));
        QCOMPARE(ShownColumn(dlg, kColumnMd5), QStringList{md5});  // the search computed it
        tree.WriteFile("R/f/a.bms", "#TITLE b\r\n");
        tree.WriteFile("R/f/c.bms", "#TITLE c\r\n");
        ResultListView* list = CTamboroDlgTesting::List(dlg);
        ClickMenuItem(dlg, list->viewport(), list->visualRect(list->model()->index(0, kColumnTitle)).center(),
                      QStringLiteral("このフォルダを再読み込み"));
        QStringList titles = ShownColumn(dlg, kColumnTitle);
        titles.sort();
        QCOMPARE(titles, (QStringList{"b", "c"}));
        QVERIFY(!ShownColumn(dlg, kColumnMd5).contains(QString()));
    }

    // A column shown from the header's menu lies in view (the column
    // stretched last gives back the width it took), numbers are painted at
    // the right of their cells, digests whole.
    void shownColumnsLieInViewNumbersRightDigestsWhole()
    {
        TestTree tree;
        const std::string chart = "#TITLE a\r\n#PLAYLEVEL 12\r\n";
        tree.WriteFile("R/f/a.bms", chart);
        const QByteArray bytes = QByteArray::fromStdString(chart);
        const QString md5 = QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
        const QString sha256 = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, tree.Path("R"));
        ResultListView* list = CTamboroDlgTesting::List(dlg);
        QHeaderView* header = Header(dlg);
        auto inView = [&](int column) {
            const int left = header->sectionViewportPosition(column);
            return left >= 0 && left + header->sectionSize(column) <= header->viewport()->width();
        };
        auto cell = [&](int column) { return list->visualRect(list->model()->index(0, column)); };
        // The columns shown fill the list, no wider: no scroll bar for the
        // width the hidden ones once had.
        QCOMPARE(header->length(), header->viewport()->width());
        // Where the run of text `text` painted in `rect` starts; -1 for none.
        auto paintedAt = [&](const QRect& rect, const QString& text) {
            for (const test::PaintedRun& run : test::PaintedRuns(*list->viewport()))
                if (run.text == text && rect.contains(run.at.toPoint() - QPoint(0, 1)))
                    return run.at.x();
            return qreal(-1);
        };

        ClickHeaderMenuItem(dlg, kColumnTitle, QStringLiteral("レベル"));
        QVERIFY(inView(kColumnLevel));
        QCOMPARE(header->sectionSize(kColumnArtist), 100);
        QVERIFY(paintedAt(cell(kColumnLevel), "12") > cell(kColumnLevel).center().x());
        QVERIFY(paintedAt(cell(kColumnTitle), "a") < cell(kColumnTitle).center().x());
        QVERIFY(paintedAt(cell(kColumnTitle), "a") >= cell(kColumnTitle).left());

        ClickHeaderMenuItem(dlg, kColumnLevel, QStringLiteral("MD5"));
        QVERIFY(WaitUntil([&] { return ShownColumn(dlg, kColumnMd5) == QStringList{md5}; }));
        QVERIFY(inView(kColumnMd5));
        QCOMPARE(header->sectionSize(kColumnLevel), 50);
        QCOMPARE(test::PaintedTextIn(*list->viewport(), cell(kColumnMd5)), md5);
        QVERIFY(paintedAt(cell(kColumnLevel), "12") > cell(kColumnLevel).center().x());

        ClickHeaderMenuItem(dlg, kColumnMd5, QStringLiteral("レベル"));
        QCOMPARE(header->length(), header->sectionPosition(kColumnMd5) + header->sectionSize(kColumnMd5));
        ClickHeaderMenuItem(dlg, kColumnMd5, QStringLiteral("SHA-256"));
        QVERIFY(WaitUntil([&] { return ShownColumn(dlg, kColumnSha256) == QStringList{sha256}; }));
        QVERIFY(inView(kColumnSha256));
        QCOMPARE(test::PaintedTextIn(*list->viewport(), cell(kColumnSha256)), sha256);
        QCOMPARE(test::PaintedTextIn(*list->viewport(), cell(kColumnMd5)), md5);
    }

    // The columns written into the settings file by hand as the README
    // shows them, without quotes (a list to the settings file), are shown.
    void handWrittenColumnsAreShown()
    {
        const std::vector<std::pair<QByteArray, std::vector<ListColumn>>> written{
            {"columns=folder,genre,title,artist\n", {kColumnFolder, kColumnGenre, kColumnTitle, kColumnArtist}},
            {"columns=folder,title,level,md5\n", {kColumnFolder, kColumnTitle, kColumnLevel, kColumnMd5}},
            {"columns=\"title, bpm\"\n", {kColumnTitle, kColumnBpm}},
        };
        for (const auto& [line, shown] : written) {
            QFile conf(m_config.filePath(QStringLiteral("Tamboro/tamboro.conf")));
            QVERIFY(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
            conf.write(line);
            conf.close();
            CTamboroDlg dlg;
            Show(dlg);
            QCOMPARE(CTamboroDlgTesting::List(dlg)->ShownColumns(), shown);
        }
    }

    // Searches keep the root's index in the cache folder and list the same
    // rows from it; index=false keeps none.
    void searchesKeepTheIndexUnlessTurnedOff()
    {
        TestTree tree;
        tree.WriteFile("R/f/a.bms", "#TITLE a\r\n");
        tree.WriteFile("R/g/b.bms", "#TITLE b\r\n");
        QDir cache(QString::fromStdString(m_runtime.Tree().Path("cache/tamboro")));
        cache.removeRecursively();
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, tree.Path("R"));
        const QStringList first = ShownColumn(dlg, kColumnTitle);
        QCOMPARE(cache.entryList({QStringLiteral("index-*.sqlite")}, QDir::Files).size(), 1);
        tree.WriteFile("R/g/c.bms", "#TITLE c\r\n");
        Search(dlg, tree.Path("R"));
        QStringList second = ShownColumn(dlg, kColumnTitle);
        QCOMPARE(second.size(), 3);
        second.removeAll(QStringLiteral("c"));
        QCOMPARE(second, first);

        OpenSettingsFile()->setValue("index", false);
        cache.removeRecursively();
        Search(dlg, tree.Path("R"));
        QCOMPARE(ShownColumn(dlg, kColumnTitle).size(), 3);
        QVERIFY(!cache.exists());
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiFolderColumnTest)
#include "GuiFolderColumnTest.moc"
