// Difficulty tables in the window, driven with real clicks and keys: the
// manager opened from the list's menu, a table added from a local web
// server, the table column shown from the header's menu, filled, sorted by
// table and copied; the table read again after the server changed it, a
// failing address told once with its reason in Japanese, a table removed,
// the window closed while a read hangs, the remembered tables read from
// their kept copies with the server gone (a failure at start shown in the
// table's state, not in a box); a table that never answers holding up no
// other, its reading stopped by 中止 and by 削除.
#include <QClipboard>
#include <QCryptographicHash>
#include <QDialog>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <algorithm>
#include <memory>

#include "dialog/SettingsFile.h"
#include "dialog/TableManager.h"
#include "models/ResultModel.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro {
namespace {

using test::TestTree;
using test::WaitUntil;

const QString kStateColumnRead = QStringLiteral("読み込み済み");

// tests/support/table_server.py serving `folder` under /files/.
class TableServer {
public:
    explicit TableServer(const std::string& folder)
    {
        m_process.start(QStringLiteral(TAMBORO_PYTHON3),
                        {QStringLiteral(TAMBORO_TABLE_SERVER), QString::fromStdString(folder)});
        if (m_process.waitForReadyRead(10000))
            m_port = m_process.readLine().trimmed();
    }
    ~TableServer() { Stop(); }
    void Stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }
    QString Address(const char* path) const { return QStringLiteral("http://127.0.0.1:") + m_port + path; }
    quint16 Port() const { return m_port.toUShort(); }

private:
    QProcess m_process;
    QString m_port;
};

// The connections open from this machine to 127.0.0.1:`port`
// (/proc/net/tcp, state ESTABLISHED).
int ConnectionsTo(quint16 port)
{
    QFile tcp(QStringLiteral("/proc/net/tcp"));
    if (!tcp.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray remote = "0100007F:" + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    int count = 0;
    for (const QByteArray& line : tcp.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 3 && fields[2] == remote && fields[3] == "01")
            ++count;
    }
    return count;
}

QString Md5(const std::string& bytes)
{
    return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Md5).toHex();
}

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

// Right-clicks `viewport` at `at`; clicks the menu's item `item` when given,
// and returns the menu's items.
QStringList ClickMenuItem(CTamboroDlg& dlg, QWidget* viewport, QPoint at, const QString& item = {})
{
    QStringList items;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || !items.isEmpty())
            return;
        for (QAction* action : menu->actions())
            items << action->text();
        for (QAction* action : menu->actions()) {
            if (!item.isEmpty() && action->text() == item) {
                QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
                return;
            }
        }
        menu->close();
    });
    poll.start();
    QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, Qt::NoModifier, viewport->mapTo(&dlg, at));
    WaitUntil([&] { return !items.isEmpty() && QApplication::activePopupWidget() == nullptr; }, 5000);
    return items;
}

QStringList HeaderMenu(CTamboroDlg& dlg, const QString& item = {})
{
    QHeaderView* header = CTamboroDlgTesting::List(dlg)->header();
    return ClickMenuItem(dlg, header->viewport(), QPoint(20, header->height() / 2), item);
}

QStringList ShownColumn(CTamboroDlg& dlg, int column)
{
    QStringList texts;
    const QAbstractItemModel* model = CTamboroDlgTesting::List(dlg)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

QTableWidget* ManagerList(TableManager* manager)
{
    return manager->findChild<QTableWidget*>(QStringLiteral("TableList"));
}

QString ManagerCell(TableManager* manager, int row, int column)
{
    const QTableWidgetItem* item = ManagerList(manager)->item(row, column);
    return item != nullptr ? item->text() : QString();
}

void ClickButton(TableManager* manager, const char* name)
{
    QTest::mouseClick(manager->findChild<QPushButton*>(QLatin1String(name)), Qt::LeftButton);
}

void SelectTable(TableManager* manager, int row)
{
    QTableWidget* list = ManagerList(manager);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier,
                      list->visualRect(list->model()->index(row, 0)).center());
}

void AddTable(TableManager* manager, const QString& address)
{
    QTest::keyClicks(manager->findChild<QLineEdit*>(QStringLiteral("TableAddress")), address);
    ClickButton(manager, "TableAdd");
}

}  // namespace

class GuiTablesTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;
    TestTree m_tree;

    void WriteTable(const QString& data, const QString& levelOrder)
    {
        m_tree.WriteFile("served/header.json", (QStringLiteral(R"({"name": "T", "symbol": "★", "level_order": [)") +
                                                levelOrder + R"(], "data_url": "data.json"})")
                                                   .toStdString());
        m_tree.WriteFile("served/data.json", data.toStdString());
    }

private slots:
    void initTestCase()
    {
        m_runtime.Use();
        ::setenv("XDG_CONFIG_HOME", m_tree.Path("config").c_str(), 1);
        OpenSettingsFile()->clear();
    }

    void tablesFillTheColumnAndWorkFromTheirKeptCopies()
    {
        const std::string a = "#TITLE a\r\n", b = "#TITLE b\r\n", c = "#TITLE c\r\n";
        m_tree.WriteFile("R/f/a.bms", a);
        m_tree.WriteFile("R/f/b.bms", b);
        m_tree.WriteFile("R/f/c.bms", c);
        const QString entry = QStringLiteral(R"({"level": "%1", "md5": "%2"})");
        WriteTable('[' + entry.arg("1", Md5(b)) + ',' + entry.arg("2", Md5(c)) + ']', R"("2", "1")");
        TableServer server(m_tree.Path("served"));
        const QString headerAddress = server.Address("/files/header.json");
        const QString folder = QString::fromStdString(m_tree.Path("R/f/"));
        test::MessageBoxWatcher boxes;
        {
            auto dlg = std::make_unique<CTamboroDlg>();
            Show(*dlg);
            Search(*dlg, m_tree.Path("R"));
            QVERIFY(!HeaderMenu(*dlg).contains(QStringLiteral("難易度表")));

            ResultListView* list = CTamboroDlgTesting::List(*dlg);
            ClickMenuItem(*dlg, list->viewport(), QPoint(10, 10), QStringLiteral("難易度表…"));
            auto* manager = dlg->findChild<TableManager*>();
            QVERIFY(manager != nullptr && manager->isVisible());
            AddTable(manager, headerAddress);
            QVERIFY(WaitUntil([&] { return ManagerCell(manager, 0, 4) == kStateColumnRead; }));
            QCOMPARE(ManagerCell(manager, 0, 0), headerAddress);
            QCOMPARE(ManagerCell(manager, 0, 1) + ManagerCell(manager, 0, 2) + ManagerCell(manager, 0, 3),
                     QStringLiteral("T★2"));

            // Shown after the search: the listed charts get their digests
            // in the background, then their table cells.
            HeaderMenu(*dlg, QStringLiteral("難易度表"));
            QVERIFY(WaitUntil([&] { return ShownColumn(*dlg, kColumnTable).filter("★").size() == 2; }));
            QHeaderView* header = list->header();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(header->sectionViewportPosition(kColumnTable) + 10, header->height() / 2));
            QCOMPARE(ShownColumn(*dlg, kColumnTitle), (QStringList{"c", "b", "a"}));
            QCOMPARE(ShownColumn(*dlg, kColumnTable), (QStringList{"★2", "★1", ""}));
            // The keys go to the list once its window is active again.
            dlg->activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
            list->setFocus();
            QTest::keyClick(list, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClick(list, Qt::Key_C, Qt::ControlModifier);
            QCOMPARE(QGuiApplication::clipboard()->text(),
                     folder + "\t\tc\t\t★2\n" + folder + "\t\tb\t\t★1\n" + folder + "\t\ta\t\t\n");

            // Read again: a is in the table now, first in its order, and the
            // list sorted by the column follows.
            WriteTable('[' + entry.arg("1", Md5(b)) + ',' + entry.arg("2", Md5(c)) + ',' + entry.arg("3", Md5(a)) + ']',
                       R"("3", "2", "1")");
            SelectTable(manager, 0);
            ClickButton(manager, "TableReadAgain");
            QVERIFY(WaitUntil([&] { return ShownColumn(*dlg, kColumnTable).first() == "★3"; }));
            QCOMPARE(ShownColumn(*dlg, kColumnTitle), (QStringList{"a", "c", "b"}));
            QCOMPARE(ManagerCell(manager, 0, 3), QStringLiteral("3"));

            // A failing address: one message naming it once, with the
            // reason in Japanese, the table failed.
            const QString missing = server.Address("/files/none.json");
            AddTable(manager, missing);
            QVERIFY(WaitUntil([&] { return !boxes.seen.empty(); }));
            QTest::qWait(200);
            QCOMPARE(boxes.seen.size(), std::size_t{1});
            QCOMPARE(boxes.seen[0].text,
                     "難易度表を読めませんでした。\n" + missing + ": ページがありません (HTTP 404)");
            QCOMPARE(ManagerCell(manager, 1, 4), QStringLiteral("失敗: ページがありません (HTTP 404)"));
            SelectTable(manager, 1);
            ClickButton(manager, "TableRemove");
            QCOMPARE(ManagerList(manager)->rowCount(), 1);
            QCOMPARE(OpenSettingsFile()->value("tables").toString(), headerAddress);
            QCOMPARE(ShownColumn(*dlg, kColumnTable), (QStringList{"★3", "★2", "★1"}));

            // By a file chosen (the chooser answers at once), then removed.
            const QString file = QString::fromStdString(m_tree.Path("served/header.json"));
            CTamboroDlgTesting::Tables(*dlg)->ChooseFile() = [&](QWidget*) { return file; };
            ClickButton(manager, "TableAddFile");
            QVERIFY(WaitUntil([&] { return ManagerCell(manager, 1, 4) == kStateColumnRead; }));
            QCOMPARE(ManagerCell(manager, 1, 0), file);
            QVERIFY(WaitUntil([&] { return ShownColumn(*dlg, kColumnTable).first() == "★3 ★3"; }));
            SelectTable(manager, 1);
            ClickButton(manager, "TableRemove");
            QCOMPARE(ManagerList(manager)->rowCount(), 1);
            QCOMPARE(ManagerCell(manager, 0, 0), headerAddress);

            QSignalSpy missingAsked(CTamboroDlgTesting::Tables(*dlg), &DifficultyTables::MissingChartsAsked);
            SelectTable(manager, 0);
            ClickButton(manager, "TableMissing");
            QCOMPARE(missingAsked.size(), 1);
            QCOMPARE(missingAsked[0][0].toInt(), 0);
            // The view of the searched root: the library holds every chart.
            QVERIFY(WaitUntil([&] {
                auto* view = dlg->findChild<QDialog*>(QStringLiteral("MissingChartsView"));
                const auto labels = view != nullptr ? view->findChildren<QLabel*>() : QList<QLabel*>();
                return std::any_of(labels.begin(), labels.end(), [](const QLabel* label) {
                    return label->text().startsWith("未所持: 0 / ") && label->text().endsWith("(ライブラリ 3 譜面)");
                });
            }));
            dlg->findChild<QDialog*>(QStringLiteral("MissingChartsView"))->close();

            // The window closes while a read waits for an answer that never
            // comes.
            AddTable(manager, server.Address("/hang"));
            QLabel* progress = manager->findChild<QLabel*>(QStringLiteral("TableProgress"));
            QVERIFY(WaitUntil([&] { return progress->text() == "読み込み中: " + server.Address("/hang"); }));
        }
        boxes.seen.clear();
        server.Stop();

        // Remembered with the column: read from the kept copy, offline; the
        // table never read is fetched, and its failure shows in its state
        // alone.
        CTamboroDlg dlg;
        Show(dlg);
        Search(dlg, m_tree.Path("R"));
        QVERIFY(WaitUntil([&] {
            QStringList cells = ShownColumn(dlg, kColumnTable);
            cells.sort();
            return cells == QStringList{"★1", "★2", "★3"};
        }));
        ResultListView* list = CTamboroDlgTesting::List(dlg);
        QVERIFY(!list->header()->isSectionHidden(kColumnTable));
        ClickMenuItem(dlg, list->viewport(), QPoint(10, 10), QStringLiteral("難易度表…"));
        auto* manager = dlg.findChild<TableManager*>();
        QCOMPARE(ManagerCell(manager, 0, 4), QStringLiteral("保存したコピー"));
        QVERIFY(WaitUntil([&] { return ManagerCell(manager, 1, 4) == "失敗: サーバーに接続できません"; }));
        QTest::qWait(200);
        QVERIFY(boxes.seen.empty());

        // Read again offline: one message naming it once, the kept copy stays.
        SelectTable(manager, 0);
        ClickButton(manager, "TableReadAgain");
        QVERIFY(WaitUntil([&] { return boxes.seen.size() == 1; }));
        QCOMPARE(boxes.seen[0].text, "難易度表を読めませんでした。\n" + headerAddress +
                                         ": サーバーに接続できません\n保存してあったコピーを使います。");
        QCOMPARE(ManagerCell(manager, 0, 4), QStringLiteral("保存したコピー: サーバーに接続できません"));
        QVERIFY(ShownColumn(dlg, kColumnTable).contains(QStringLiteral("★3")));
    }

    void aTableThatNeverAnswersHoldsUpNoOtherAndStops()
    {
        OpenSettingsFile()->remove("tables");
        WriteTable(R"([{"level": "1", "md5": "00000000000000000000000000000000"}])", R"("1")");
        TableServer server(m_tree.Path("served"));
        test::MessageBoxWatcher boxes;
        CTamboroDlg dlg;
        Show(dlg);
        ResultListView* list = CTamboroDlgTesting::List(dlg);
        ClickMenuItem(dlg, list->viewport(), QPoint(10, 10), QStringLiteral("難易度表…"));
        auto* manager = dlg.findChild<TableManager*>();
        QVERIFY(manager != nullptr);
        QVERIFY(manager->findChild<QPushButton*>(QStringLiteral("TableStop")) != nullptr);

        const QString hang = server.Address("/hang");
        AddTable(manager, hang);
        QVERIFY(WaitUntil([&] { return ConnectionsTo(server.Port()) == 1; }));
        AddTable(manager, server.Address("/files/header.json"));
        QVERIFY(WaitUntil([&] { return ManagerCell(manager, 1, 4) == kStateColumnRead; }));
        QCOMPARE(ManagerCell(manager, 0, 4), QStringLiteral("読み込み中"));
        QLabel* progress = manager->findChild<QLabel*>(QStringLiteral("TableProgress"));
        QCOMPARE(progress->text(), "読み込み中: " + hang);

        // 中止 ends its transfer; the table never read stays so.
        SelectTable(manager, 0);
        ClickButton(manager, "TableStop");
        QCOMPARE(ManagerCell(manager, 0, 4), QStringLiteral("中止"));
        QCOMPARE(progress->text(), QString());
        QVERIFY(WaitUntil([&] { return ConnectionsTo(server.Port()) == 0; }));

        // 削除 of a table being read ends its transfer too.
        ClickButton(manager, "TableReadAgain");
        QVERIFY(WaitUntil([&] { return ConnectionsTo(server.Port()) == 1; }));
        ClickButton(manager, "TableRemove");
        QCOMPARE(ManagerList(manager)->rowCount(), 1);
        QCOMPARE(ManagerCell(manager, 0, 4), kStateColumnRead);
        QVERIFY(WaitUntil([&] { return ConnectionsTo(server.Port()) == 0; }));
        QVERIFY(boxes.seen.empty());
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiTablesTest)
#include "GuiTablesTest.moc"
