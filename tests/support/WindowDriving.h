// Driving the main window as a player does, for the window tests: showing
// it, searching a folder, choosing an item of a context menu, reading a
// column as shown, and how many bytes the process has read.
#pragma once

#include <QAbstractItemModel>
#include <QFile>
#include <QHeaderView>
#include <QMenu>
#include <QStringList>
#include <QTimer>
#include <string>

#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro::test {

inline void ShowWindow(CTamboroDlg& dlg)
{
    CTamboroDlgTesting::OnInitDialog(dlg);
    dlg.resize(900, 400);
    dlg.show();
    dlg.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dlg));
}

// Types `root` in the path box, clicks Search and waits for the search's end.
inline void SearchFolder(CTamboroDlg& dlg, const std::string& root)
{
    CTamboroDlgTesting::PathEdit(dlg)->setText(QString::fromStdString(root));
    QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
    const WorkerThread::Id id = CTamboroDlgTesting::LastSearchThreadId(dlg);
    QVERIFY(WaitUntil([id] { return WorkerThread::PhaseOf(id) == WorkerThread::Phase::Ended; }));
    CTamboroDlgTesting::ShowPendingResults(dlg);
}

// Right-clicks `viewport` at `at` (through the window, as the platform
// delivers it) and clicks the menu's item `item`; false when the menu has
// no such item.
inline bool ChooseFromMenu(CTamboroDlg& dlg, QWidget* viewport, QPoint at, const QString& item)
{
    bool seen = false;
    bool found = false;
    QTimer poll;
    poll.setInterval(20);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (menu == nullptr || seen)
            return;
        seen = true;
        for (QAction* action : menu->actions()) {
            if (action->text() == item) {
                found = true;
                QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
                return;
            }
        }
        menu->close();
    });
    poll.start();
    QTest::mouseClick(dlg.windowHandle(), Qt::RightButton, Qt::NoModifier, viewport->mapTo(&dlg, at));
    return WaitUntil([&] { return seen && QApplication::activePopupWidget() == nullptr; }, 5000) && found;
}

// The header's menu over the first column.
inline bool ChooseFromHeaderMenu(CTamboroDlg& dlg, const QString& item)
{
    QHeaderView* header = CTamboroDlgTesting::List(dlg)->header();
    return ChooseFromMenu(dlg, header->viewport(), QPoint(20, header->height() / 2), item);
}

// The list's menu over the shown row `row`.
inline bool ChooseFromRowMenu(CTamboroDlg& dlg, int row, const QString& item)
{
    ResultListView* list = CTamboroDlgTesting::List(dlg);
    return ChooseFromMenu(dlg, list->viewport(), list->visualRect(list->model()->index(row, kColumnTitle)).center(),
                          item);
}

// A column's texts as the list shows them, top to bottom.
inline QStringList ShownColumnTexts(CTamboroDlg& dlg, int column)
{
    QStringList texts;
    const QAbstractItemModel* model = CTamboroDlgTesting::List(dlg)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

// The bytes every thread of this process has read so far (rchar).
inline qint64 BytesReadByProcess()
{
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : io.readAll().split('\n')) {
        if (line.startsWith("rchar:"))
            return line.mid(6).trimmed().toLongLong();
    }
    return -1;
}

}  // namespace tamboro::test
