// The MD5 column shown after a search, driven with real clicks: the listed
// charts are hashed in the background; each digest lands on its own chart's
// row when a folder is read again meanwhile (and the title counts the rows
// read), and a new search ends the hashing inside the chart being hashed.
#include <QCryptographicHash>
#include <unistd.h>

#include "dialog/SettingsFile.h"
#include "dialog/TamboroDlg.h"
#include "tests/support/WindowDriving.h"

namespace tamboro {
namespace {

using test::BytesReadByProcess;
using test::ShownColumnTexts;
using test::TestTree;
using test::WaitUntil;

// A chart that takes seconds to hash: zeros without a block on the disk.
constexpr qint64 kLargeChartBytes = qint64{1} << 30;

void MakeLargeChart(const TestTree& tree, const std::string& relative)
{
    tree.WriteFile(relative, "");
    QVERIFY(::truncate(tree.Path(relative).c_str(), kLargeChartBytes) == 0);
}

QString Md5(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex();
}

QString LargeChartMd5()
{
    QCryptographicHash hash(QCryptographicHash::Md5);
    const QByteArray block(1 << 20, '\0');
    for (qint64 done = 0; done < kLargeChartBytes; done += block.size())
        hash.addData(block);
    return hash.result().toHex();
}

// Shows the MD5 column from the header's menu and waits until the hashing
// has read well into the large chart.
void StartHashingLargeChart(CTamboroDlg& dlg, qint64& readBefore)
{
    readBefore = BytesReadByProcess();
    QVERIFY(test::ChooseFromHeaderMenu(dlg, QStringLiteral("MD5")));
    QVERIFY(WaitUntil([&] { return BytesReadByProcess() - readBefore > (qint64{16} << 20); }));
}

}  // namespace

class GuiDigestColumnsTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;

private slots:
    void initTestCase()
    {
        m_runtime.Use();
        ::setenv("XDG_CONFIG_HOME", m_runtime.Tree().Path("config").c_str(), 1);
    }
    // Each test starts with the four first columns.
    void init() { OpenSettingsFile()->clear(); }

    void digestsFollowTheirChartsWhenAFolderIsReadAgain()
    {
        TestTree tree;
        // A folder's subfolders are listed before its own charts: S's rows
        // come first, and R's move when S gains a chart.
        tree.WriteFile("R/S/s1.bms", "#TITLE s1\r\n");
        tree.WriteFile("R/x.bms", "#TITLE x\r\n");
        MakeLargeChart(tree, "R/large.bms");
        const QString largeMd5 = LargeChartMd5();
        CTamboroDlg dlg;
        test::ShowWindow(dlg);
        test::SearchFolder(dlg, tree.Path("R"));
        const QString title = QStringLiteral("Tamboro - %1 [") + QString::fromStdString(tree.Path("R/")) + "]";
        QCOMPARE(dlg.windowTitle(), title.arg(3));
        QCOMPARE(ShownColumnTexts(dlg, kColumnTitle).first(), QStringLiteral("s1"));

        qint64 readBefore = 0;
        StartHashingLargeChart(dlg, readBefore);
        const int largeRow = static_cast<int>(ShownColumnTexts(dlg, kColumnFile).indexOf("large.bms"));
        QCOMPARE(ShownColumnTexts(dlg, kColumnMd5)[largeRow], QString());  // still being hashed
        tree.WriteFile("R/S/s2.bms", "#TITLE s2\r\n");
        QVERIFY(test::ChooseFromRowMenu(dlg, 0, QStringLiteral("このフォルダを再読み込み")));
        QCOMPARE(ShownColumnTexts(dlg, kColumnTitle).size(), 4);
        QCOMPARE(dlg.windowTitle(), title.arg(4));

        QVERIFY(WaitUntil([&] { return ShownColumnTexts(dlg, kColumnMd5).contains(largeMd5); }, 120000));
        // With one core the small charts may come after the large one; the
        // comparison below names any row left without its digest.
        static_cast<void>(WaitUntil([&] { return !ShownColumnTexts(dlg, kColumnMd5).contains(QString()); }, 5000));
        const QStringList titles = ShownColumnTexts(dlg, kColumnTitle);
        const QStringList digests = ShownColumnTexts(dlg, kColumnMd5);
        for (int row = 0; row < titles.size(); ++row) {
            const QString expected = titles[row].isEmpty() ? largeMd5 : Md5("#TITLE " + titles[row].toUtf8() + "\r\n");
            QVERIFY2(digests[row] == expected, qPrintable(titles[row] + ": " + digests[row]));
        }
    }

    void aNewSearchEndsTheHashingInsideTheChart()
    {
        TestTree tree;
        MakeLargeChart(tree, "R/large.bms");
        tree.WriteFile("E/e.bms", "#TITLE e\r\n");
        CTamboroDlg dlg;
        test::ShowWindow(dlg);
        test::SearchFolder(dlg, tree.Path("R"));
        qint64 readBefore = 0;
        StartHashingLargeChart(dlg, readBefore);
        test::SearchFolder(dlg, tree.Path("E"));
        // The hashing stopped part way through the large chart before the
        // new search began.
        const qint64 read = BytesReadByProcess() - readBefore;
        QVERIFY2(read < kLargeChartBytes, qPrintable(QString::number(read)));
        QCOMPARE(ShownColumnTexts(dlg, kColumnMd5), QStringList{Md5("#TITLE e\r\n")});
    }
};

}  // namespace tamboro

QTEST_MAIN(tamboro::GuiDigestColumnsTest)
#include "GuiDigestColumnsTest.moc"
