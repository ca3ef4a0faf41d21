// Qt's own texts in the window under a Japanese locale, through the
// application object the program runs: writing rows as a table, the export
// dialog's buttons, the folder chooser and the question whether to replace
// a table speak Japanese, while the window's own texts stay as they are;
// without Qt's translation the same steps work in English.
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTranslator>
#include <cstdlib>

#include "dialog/ExportTableDialog.h"
#include "dialog/QtTranslation.h"
#include "dialog/TamboroApp.h"
#include "dialog/TamboroDlg.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro {
namespace {

using test::TestTree;
using test::WaitUntil;

// What the player saw of Qt's texts while exporting.
struct QtTexts {
    QString dialogCancel;         // the export dialog's cancel button
    QString chooserCancel;        // the folder chooser's
    QStringList questionButtons;  // the replace question's, its mnemonics left out
};

template <class Widget>
Widget* ActiveModal()
{
    return qobject_cast<Widget*>(QApplication::activeModalWidget());
}

// Exports the first row through the list's menu and the export dialog,
// and answers what Qt asks next: the folder chooser is cancelled (Escape),
// the question whether to replace a table answered No. With `folder`, that
// folder is taken in place of the chooser.
QtTexts ExportFirstRow(CTamboroDlg& dlg, const std::string& folder = std::string())
{
    if (!folder.empty())
        ExportTableDialog::SetFolderChooser([folder](QWidget&) { return folder; });
    QtTexts seen;
    ResultListView* list = CTamboroDlgTesting::List(dlg);
    const QPoint row = list->visualRect(list->model()->index(0, 2)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, row);
    bool asked = false;
    bool answered = false;
    QTimer answer;
    answer.setInterval(20);
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()); menu != nullptr && !asked) {
            asked = true;
            // Clicked from a timer of its own: the dialogs it opens wait in
            // there, and a timer does not fire again while it waits.
            QTimer::singleShot(0, menu, [menu] {
                for (QAction* action : menu->actions())
                    if (action->text() == QStringLiteral("選択した行を難易度表として書き出す…"))
                        QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
            });
        } else if (auto* dialog = ActiveModal<ExportTableDialog>(); dialog != nullptr && seen.dialogCancel.isEmpty()) {
            seen.dialogCancel = dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text();
            QTest::keyClicks(dialog->findChild<QLineEdit*>("TableName"), "Mine");
            QTest::keyClicks(dialog->findChild<QLineEdit*>("TableSymbol"), "M");
            QTest::keyClicks(dialog->findChild<QLineEdit*>("TableLevel"), "1");
            QTest::keyClick(dialog->findChild<QLineEdit*>("TableLevel"), Qt::Key_Return);
        } else if (auto* chooser = ActiveModal<QFileDialog>(); chooser != nullptr && !answered) {
            answered = true;
            seen.chooserCancel = chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->text();
            QTest::keyClick(chooser, Qt::Key_Escape);
        } else if (auto* box = ActiveModal<QMessageBox>(); box != nullptr && !answered) {
            answered = true;
            for (QAbstractButton* button : box->buttons())
                seen.questionButtons << button->text().remove(QLatin1Char('&'));
            seen.questionButtons.sort();
            QTest::mouseClick(box->button(QMessageBox::No), Qt::LeftButton);
        }
    });
    answer.start();
    QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, Qt::NoModifier, list->viewport()->mapTo(&dlg, row));
    [&] { QVERIFY(WaitUntil([&] { return answered && QApplication::activeModalWidget() == nullptr; })); }();
    ExportTableDialog::SetFolderChooser(nullptr);
    return seen;
}

}  // namespace

class GuiTranslationTest : public QObject {
    Q_OBJECT
private:
    test::PrivateRuntimeDir m_runtime;
    QTemporaryDir m_config;
    TestTree m_tree;

    QByteArray HeaderKept() const
    {
        QFile header(QString::fromStdString(m_tree.Path("out/header.json")));
        return header.open(QIODevice::ReadOnly) ? header.readAll() : QByteArray();
    }

    void ShowAndSearch(CTamboroDlg& dlg)
    {
        CTamboroDlgTesting::OnInitDialog(dlg);
        dlg.resize(800, 400);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg));
        CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(m_tree.Path("R")));
        QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
        QVERIFY(WaitUntil([&] {
            CTamboroDlgTesting::ShowPendingResults(dlg);
            return CTamboroDlgTesting::List(dlg)->model()->rowCount() == 1;
        }));
    }

private slots:
    void initTestCase()
    {
        ::setenv("XDG_CONFIG_HOME", m_config.path().toUtf8().constData(), 1);
        m_tree.WriteFile("R/a/one.bms", "#GENRE g\r\n#TITLE one\r\n");
        m_tree.WriteFile("out/header.json", "kept");
    }

    void qtTextsAreJapaneseAndTheWindowsOwnStay()
    {
        CTamboroDlg dlg;
        ShowAndSearch(dlg);
        QCOMPARE(ExportFirstRow(dlg).chooserCancel, QStringLiteral("キャンセル"));
        const QtTexts seen = ExportFirstRow(dlg, m_tree.Path("out"));
        QCOMPARE(seen.dialogCancel, QStringLiteral("キャンセル"));
        QCOMPARE(seen.questionButtons, QStringList({QStringLiteral("いいえ(N)"), QStringLiteral("はい(Y)")}));
        QCOMPARE(HeaderKept(), QByteArray("kept"));
        // The window's own texts, sort markers included, are as they were.
        QHeaderView* header = CTamboroDlgTesting::List(dlg)->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                          QPoint(header->sectionViewportPosition(1) + 10, header->height() / 2));
        QCOMPARE(header->model()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("ジャンル(Alphabetic)"));
        QCOMPARE(CTamboroDlgTesting::SearchButton(dlg)->text(), QStringLiteral("検索(&S)"));
    }

    // Qt's translation gone (as when qt6-translations-l10n is not
    // installed): it cannot be loaded, and the same steps work in English.
    void withoutQtsTranslationTheWindowStillAsks()
    {
        for (QTranslator* translator : qApp->findChildren<QTranslator*>())
            QCoreApplication::removeTranslator(translator);
        QTemporaryDir none;
        QVERIFY(!TranslateQtTexts(*qApp, QLocale(), none.path()));
        CTamboroDlg dlg;
        ShowAndSearch(dlg);
        QCOMPARE(ExportFirstRow(dlg).chooserCancel, QStringLiteral("Cancel"));
        const QtTexts seen = ExportFirstRow(dlg, m_tree.Path("out"));
        QCOMPARE(seen.dialogCancel, QStringLiteral("Cancel"));
        QCOMPARE(seen.questionButtons, QStringList({QStringLiteral("No"), QStringLiteral("Yes")}));
        QCOMPARE(HeaderKept(), QByteArray("kept"));
    }
};

}  // namespace tamboro

int main(int argc, char** argv)
{
    // As a Japanese desktop starts the program.
    ::setenv("LANG", "ja_JP.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::unsetenv("LANGUAGE");
    tamboro::CTamboroApp app(argc, argv);
    tamboro::GuiTranslationTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "GuiTranslationTest.moc"
