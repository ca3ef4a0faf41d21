// A table's missing charts in their own window, and the list's rows written
// as a table, through real clicks and keys: what is listed, its order, the
// pages opened, the lines copied, and the table read back.
#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QTableView>
#include <QUrl>

#include "dialog/ExportTableDialog.h"
#include "dialog/MissingChartsView.h"
#include "dialog/ResultListView.h"
#include "dialog/TamboroDlg.h"
#include "tables/TableFetcher.h"
#include "tables/TableReader.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro {
namespace {

using test::TestTree;
using test::WaitUntil;

std::string Md5(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Md5).toHex().toStdString();
}

std::string Sha256(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256).toHex().toStdString();
}

// JSON written with ' for " (moc reads raw strings poorly).
std::string Json(std::string text)
{
    std::replace(text.begin(), text.end(), '\'', '"');
    return text;
}

QString ScanOutput(const QStringList& arguments)
{
    QProcess scan;
    scan.start(QStringLiteral(TAMBORO_SCAN_PATH), arguments);
    scan.waitForFinished(60000);
    return QString::fromUtf8(scan.readAllStandardOutput());
}

QStringList Column(const QAbstractItemModel& model, int column)
{
    QStringList texts;
    for (int row = 0; row < model.rowCount(); ++row)
        texts << model.index(row, column).data().toString();
    return texts;
}

void DoubleClick(QWidget* widget, QPoint at)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
}

// Right-clicks `viewport` at `at` through its window and hands the menu
// that opens to `use`, which closes it or clicks an item.
void WithContextMenu(QWidget* viewport, QPoint at, const std::function<void(QMenu&)>& use)
{
    bool done = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || done)
            return;
        done = true;
        use(*menu);
    });
    poll.start();
    QWidget* window = viewport->window();
    QTest::mouseClick(window->windowHandle(), Qt::RightButton, Qt::NoModifier, viewport->mapTo(window, at));
    QVERIFY(WaitUntil([&] { return done; }));
}

QAction* ItemOf(QMenu& menu, const QString& text)
{
    for (QAction* action : menu.actions())
        if (action->text() == text)
            return action;
    return nullptr;
}

class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void Open(const QUrl& url) { urls << url; }
};

}  // namespace

class GuiMissingChartsTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;

private slots:
    // Two of six entries are in the library (one by md5, one by sha256):
    // the other four, one without a level or a usable hash, are listed in
    // the table's order with the hash each is matched by, copied as the
    // command prints them, sorted by level in the table's level order (no
    // level last), and their pages opened when they are web pages only.
    void missingChartsOfATable()
    {
        TestTree tree;
        const std::string one = "#TITLE one\r\n", two = "#TITLE two\r\n";
        tree.WriteFile("R/a/one.bms", one);
        tree.WriteFile("R/b/two.bms", two);
        tree.WriteFile("T/header.json", Json("{'name':'T','symbol':'★','data_url':'data.json',"
                                             "'level_order':['?','1','2','10']}"));
        tree.WriteFile("T/data.json",
                       Json("[{'level':'2','md5':'" + Md5(one) +
                            "','title':'has one'},"
                            "{'level':'10','md5':'0123456789abcdef0123456789abcdef','title':'ten',"
                            "'url':'https://example.com/10'},"
                            "{'level':'?','md5':'1123456789abcdef0123456789abcdef','title':'odd',"
                            "'url_diff':'http://example.com/d'},"
                            "{'level':'1','md5':'2123456789abcdef0123456789abcdef','title':'local\\tfile',"
                            "'url':'file:///etc/passwd'},"
                            "{'md5':'#N/A','title':'no hash'},"
                            "{'level':'1','sha256':'" +
                            Sha256(two) + "','title':'has two'}]"));
        TableFetcher fetcher;
        TableResult<DifficultyTable> table = TableReader(fetcher).Read(tree.Path("T/header.json"));
        QVERIFY2(bool(table), table.Error().c_str());
        MissingChartsView* view = MissingChartsView::Open(nullptr, *table, tree.Path("R"), ChartTypes());
        auto* list = view->findChild<QTableView*>(QStringLiteral("MissingCharts"));
        QVERIFY(WaitUntil([&] { return list->model()->rowCount() == 4; }));
        QCOMPARE(Column(*list->model(), 1), QStringList({"ten", "odd", "local\tfile", "no hash"}));
        QCOMPARE(Column(*list->model(), 3), QStringList({"MD5", "MD5", "MD5", "なし"}));

        QVERIFY(QTest::qWaitForWindowActive(view));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list->visualRect(list->model()->index(0, 0)).center());
        QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
        const QString printed = ScanOutput({"--table", QString::fromStdString(tree.Path("T/header.json")), "--missing",
                                            QString::fromStdString(tree.Path("R"))});
        QCOMPARE(printed.count(QLatin1Char('\n')), 4);
        QCOMPARE(QGuiApplication::clipboard()->text(), printed);

        QHeaderView* header = list->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(0) + 5, header->height() / 2));
        QStringList levels{"★?", "★1", "★10", "★"};
        if (header->sortIndicatorOrder() == Qt::DescendingOrder)
            std::reverse(levels.begin(), levels.end());
        QCOMPARE(Column(*list->model(), 0), levels);

        UrlCatcher catcher;
        for (const char* scheme : {"http", "https", "file"})
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &catcher, "Open");
        for (const char* title : {"ten", "odd", "local\tfile"})
            DoubleClick(list->viewport(),
                        list->visualRect(list->model()->index(Column(*list->model(), 1).indexOf(title), 1)).center());
        const QPoint local =
            list->visualRect(list->model()->index(Column(*list->model(), 1).indexOf("local\tfile"), 1)).center();
        // Which of the two page items are enabled on a row; the menu closes.
        auto pagesEnabled = [&](QPoint at) {
            QString enabled;
            WithContextMenu(list->viewport(), at, [&](QMenu& menu) {
                for (const char* item : {"譜面のページを開く", "差分のページを開く"})
                    enabled += ItemOf(menu, QString::fromUtf8(item))->isEnabled() ? '1' : '0';
                menu.close();
            });
            return enabled;
        };
        QCOMPARE(pagesEnabled(local), QStringLiteral("00"));
        const QPoint odd = list->visualRect(list->model()->index(Column(*list->model(), 1).indexOf("odd"), 1)).center();
        QCOMPARE(pagesEnabled(odd), QStringLiteral("01"));
        WithContextMenu(list->viewport(), odd, [](QMenu& menu) {
            QAction* diff = ItemOf(menu, "差分のページを開く");
            QTest::mouseClick(&menu, Qt::LeftButton, Qt::NoModifier, menu.actionGeometry(diff).center());
        });
        for (const char* scheme : {"http", "https", "file"})
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        QCOMPARE(catcher.urls, QList<QUrl>({QUrl("https://example.com/10"), QUrl("http://example.com/d"),
                                            QUrl("http://example.com/d")}));
        view->close();
    }

    // Two of three listed charts written as a table, read back by the
    // command; a folder that cannot be written is named in one message box.
    void selectedRowsExportedAsATable()
    {
        TestTree tree;
        tree.WriteFile("R/a/one.bms", "#TITLE one\r\n#ARTIST someone\r\n");
        tree.WriteFile("R/b/two.bms", "#TITLE two\r\n");
        tree.WriteFile("R/c/three.bms", "#TITLE three\r\n");
        tree.WriteFile("blocker", "");
        tree.MakeFolder("out");
        std::string folder = tree.Path("out");
        ExportTableDialog::SetFolderChooser([&](QWidget&) { return folder; });
        CTamboroDlg dlg;
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.resize(700, 400);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(tree.Path("R")));
        QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
        ResultListView* list = CTamboroDlgTesting::List(dlg);
        QVERIFY(WaitUntil([&] {
            CTamboroDlgTesting::ShowPendingResults(dlg);
            return list->model()->rowCount() == 3;
        }));
        const QStringList titles = Column(*list->model(), 2);
        const int first = titles.indexOf("one"), second = titles.indexOf("three");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                          list->visualRect(list->model()->index(first, 2)).center());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list->visualRect(list->model()->index(second, 2)).center());

        test::MessageBoxWatcher boxes;
        auto exportAs = [&](const QString& level) {
            QTimer fill;
            fill.setInterval(20);
            QObject::connect(&fill, &QTimer::timeout, [&] {
                auto* asked = qobject_cast<ExportTableDialog*>(QApplication::activeModalWidget());
                if (asked == nullptr)
                    return;
                fill.stop();
                QTest::keyClicks(asked->findChild<QLineEdit*>("TableName"), "Mine");
                // A key that types a character no key of the test's keyboard has.
                QTest::sendKeyEvent(QTest::Click, asked->findChild<QLineEdit*>("TableSymbol"), Qt::Key_unknown,
                                    QStringLiteral("◎"), Qt::NoModifier);
                QTest::keyClicks(asked->findChild<QLineEdit*>("TableLevel"), level);
                QTest::keyClick(asked->findChild<QLineEdit*>("TableLevel"), Qt::Key_Return);
            });
            fill.start();
            WithContextMenu(
                list->viewport(), list->visualRect(list->model()->index(first, 2)).center(), [](QMenu& menu) {
                    QAction* item = ItemOf(menu, "選択した行を難易度表として書き出す…");
                    QTest::mouseClick(&menu, Qt::LeftButton, Qt::NoModifier, menu.actionGeometry(item).center());
                });
        };
        exportAs("3");
        QVERIFY(WaitUntil([&] { return boxes.seen.size() == 1; }));
        const QString rows = ScanOutput({"--table", QString::fromStdString(tree.Path("out/header.json")), "--columns",
                                         "title,artist,table", QString::fromStdString(tree.Path("R"))});
        QStringList lines = rows.split('\n', Qt::SkipEmptyParts);
        lines.sort();
        QCOMPARE(lines, QStringList({"one\tsomeone\t◎3", "three\t\t◎3", "two\t\t"}));

        folder = tree.Path("blocker");
        exportAs("4");
        QVERIFY(WaitUntil([&] { return boxes.seen.size() == 2; }));
        QVERIFY(boxes.seen[1].text.contains(QString::fromStdString(folder)));
        ExportTableDialog::SetFolderChooser(nullptr);
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiMissingChartsTest)
#include "GuiMissingChartsTest.moc"
