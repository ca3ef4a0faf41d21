// The find bar through real keys and clicks, inside a dialog with a default
// button: typing and pasting report the text, Enter and Down ask for the
// list (and never press the dialog's default button), Escape asks to close
// the bar (and never closes the dialog).
#include <QClipboard>
#include <QDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

#include "dialog/FindBar.h"

namespace tamboro {
namespace {

class GuiFindBarTest : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_dialog = new QDialog;
        auto* layout = new QVBoxLayout(m_dialog);
        m_search = new QPushButton(QStringLiteral("検索(&S)"), m_dialog);
        m_search->setDefault(true);
        m_bar = new FindBar(m_dialog);
        layout->addWidget(m_search);
        layout->addWidget(m_bar);
        m_dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_dialog));
        m_bar->FocusText();
    }

    void cleanup() { delete m_dialog; }

    void typingAndPastingReportTheText()
    {
        QSignalSpy changed(m_bar, &FindBar::TextChanged);
        QTest::keyClicks(m_bar->TextBox(), QStringLiteral("sof"));
        QCOMPARE(changed.count(), 3);
        QCOMPARE(changed.last()[0].toString(), QStringLiteral("sof"));

        QGuiApplication::clipboard()->setText(QStringLiteral("そふらん"));
        QTest::keyClick(m_bar->TextBox(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(m_bar->TextBox(), Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(changed.last()[0].toString(), QStringLiteral("そふらん"));
        QCOMPARE(m_bar->Text(), QStringLiteral("そふらん"));

        m_bar->SetCounts(3, 65536);
        QCOMPARE(m_bar->CountsText(), QStringLiteral("3 / 65536"));
    }

    void enterAndDownGoToTheListNeverPressTheDefaultButton()
    {
        QSignalSpy goToList(m_bar, &FindBar::GoToListRequested);
        QSignalSpy searched(m_search, &QPushButton::clicked);
        QTest::keyClicks(m_bar->TextBox(), QStringLiteral("x"));
        QTest::keyClick(m_bar->TextBox(), Qt::Key_Return);
        QTest::keyClick(m_bar->TextBox(), Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(m_bar->TextBox(), Qt::Key_Down);
        QCOMPARE(goToList.count(), 3);
        QCOMPARE(searched.count(), 0);
        QCOMPARE(m_bar->Text(), QStringLiteral("x"));
    }

    void escapeAndTheCloseButtonAskToCloseTheBarOnly()
    {
        QSignalSpy close(m_bar, &FindBar::CloseRequested);
        QSignalSpy finished(m_dialog, &QDialog::finished);
        QTest::keyClick(m_bar->TextBox(), Qt::Key_Escape);
        QCOMPARE(close.count(), 1);

        auto* button = m_bar->findChild<QToolButton*>();
        QVERIFY(button != nullptr);
        QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, button->rect().center());
        QCOMPARE(close.count(), 2);
        QCOMPARE(finished.count(), 0);
        QVERIFY(m_dialog->isVisible());
    }

private:
    QDialog* m_dialog = nullptr;
    QPushButton* m_search = nullptr;
    FindBar* m_bar = nullptr;
};

}  // namespace
}  // namespace tamboro

QTEST_MAIN(tamboro::GuiFindBarTest)
#include "GuiFindBarTest.moc"
