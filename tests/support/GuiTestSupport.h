// Helpers for the window tests: a private state block folder, a watcher that
// answers message boxes, waiting while the event loop runs, and dragging a
// column's divider.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/TestTree.h"

namespace tamboro::test {

// Points XDG_RUNTIME_DIR at a fresh folder, so that no test ever reaches the
// session's real state block (or another test binary's).
class PrivateRuntimeDir {
public:
    PrivateRuntimeDir() { Use(); }
    // The state block, and the indexes searches keep, in a folder of the
    // test's own.
    void Use() const
    {
        ::setenv("XDG_RUNTIME_DIR", m_tree.Root().c_str(), 1);
        ::setenv("XDG_CACHE_HOME", m_tree.Path("cache").c_str(), 1);
    }
    const TestTree& Tree() const { return m_tree; }

private:
    TestTree m_tree;
};

// Answers every message box that opens, as a user pressing OK would, and
// records what it showed.
class MessageBoxWatcher : public QObject {
public:
    struct Seen {
        QString caption;
        QString text;
        QWidget* owner;      // may be gone by the time it is looked at
        QString ownerClass;  // the owner's class, taken while it was there
    };

    MessageBoxWatcher()
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start();
    }

    std::vector<Seen> seen;

private:
    void Poll()
    {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (box == nullptr || !box->isVisible() || m_answered.contains(box))
                continue;
            m_answered.push_back(box);
            QWidget* owner = box->parentWidget();
            seen.push_back({box->windowTitle(), box->text(), owner,
                            owner != nullptr ? QString::fromLatin1(owner->metaObject()->className()) : QString()});
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->close();
        }
    }

    QTimer m_timer;
    QList<QPointer<QMessageBox>> m_answered;
};

// Runs the event loop until `done` holds or `timeoutMs` passed.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(2);
    }
    return true;
}

// The point on the divider at the right end of a column.
inline QPoint Divider(QHeaderView* header, int column)
{
    return {header->sectionViewportPosition(column) + header->sectionSize(column) - 1, header->height() / 2};
}

// Drags a column's right divider by `dx` pixels, as the mouse does.
inline void DragDivider(QHeaderView* header, int column, int dx)
{
    const QPoint from = Divider(header, column);
    QTest::mousePress(header->viewport(), Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(header->viewport(), from + QPoint(dx / 2, 0));
    QTest::mouseMove(header->viewport(), from + QPoint(dx, 0));
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, Qt::NoModifier, from + QPoint(dx, 0));
}

}  // namespace tamboro::test
