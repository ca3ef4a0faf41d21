// The window as a native Wayland client, run as the program runs it, against
// the compositor WAYLAND_DISPLAY names: start-up, a dropped folder, a search,
// sorting, opening a folder, the clipboard, and the exit codes. The test
// command runs it under headless weston twice, without a seat and with one
// (tests/wayland/with_weston.sh). It exits with 77 (skipped) when no
// compositor answers.
#include <QClipboard>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>
#include <optional>
#include <wayland-client.h>

#include "dialog/ResultListView.h"
#include "dialog/TamboroApp.h"
#include "dialog/TamboroDlg.h"
#include "models/ResultModel.h"
#include "tests/support/GuiTestSupport.h"
#include "tests/support/TamboroDlgTesting.h"

namespace tamboro {
namespace {

using test::TestTree;
using test::WaitUntil;

// Whether the compositor WAYLAND_DISPLAY names offers a wl_seat; nothing when
// no compositor answers.
std::optional<bool> CompositorSeat()
{
    wl_display* display = wl_display_connect(nullptr);
    if (display == nullptr)
        return std::nullopt;
    bool seat = false;
    static const wl_registry_listener listener = {
        [](void* data, wl_registry*, uint32_t, const char* interface, uint32_t) {
            if (std::strcmp(interface, "wl_seat") == 0)
                *static_cast<bool*>(data) = true;
        },
        [](void*, wl_registry*, uint32_t) {},
    };
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &listener, &seat);
    wl_display_roundtrip(display);
    wl_registry_destroy(registry);
    wl_display_disconnect(display);
    return seat;
}

CTamboroDlg* MainWindow()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dlg = qobject_cast<CTamboroDlg*>(widget); dlg != nullptr && dlg->isVisible())
            return dlg;
    return nullptr;
}

// Runs the main window as the program does; `drive` runs inside its loop
// once the compositor has shown it. Returns the program's exit code.
int RunMainWindow(const std::function<void(CTamboroDlg&)>& drive)
{
    QTimer::singleShot(0, [drive] {
        CTamboroDlg* dlg = nullptr;
        if (WaitUntil([&] { return (dlg = MainWindow()) != nullptr; }, 10000) &&
            QTest::qWaitForWindowExposed(dlg, 10000))
            drive(*dlg);
        else
            QApplication::exit(-1);  // never shown: ends the loop, the test fails
    });
    return CTamboroApp::RunMainWindow();
}

void Search(CTamboroDlg& dlg)
{
    QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
    WaitUntil([&] { return !CTamboroDlgTesting::SearchButton(dlg)->isEnabled(); }, 5000);
    WaitUntil([&] { return CTamboroDlgTesting::SearchButton(dlg)->isEnabled(); });
}

QPoint RowCenter(CTamboroDlg& dlg, int row)
{
    return CTamboroDlgTesting::List(dlg)->visualRect(CTamboroDlgTesting::List(dlg)->model()->index(row, 0)).center();
}

// The events a double click makes: press, release, press as a double click,
// release.
void DoubleClick(QWidget* widget, QPoint at)
{
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(widget, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, at);
}

QStringList Column(CTamboroDlg& dlg, int column)
{
    QStringList out;
    const QAbstractItemModel* model = CTamboroDlgTesting::List(dlg)->model();
    for (int row = 0; row < model->rowCount(); ++row)
        out << model->index(row, column).data().toString();
    return out;
}

// A folder dragged from a file manager and dropped on the widget under
// `at` (window coordinates), as the platform hands a drop to that widget.
bool DropFolderAt(CTamboroDlg& dlg, QPoint at, const QString& folder)
{
    QWidget* target = dlg.childAt(at);
    if (target == nullptr)
        return false;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(folder)});
    const QPoint local = target->mapFrom(&dlg, at);
    QDragEnterEvent enter(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(local), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    return enter.isAccepted() && drop.isAccepted();
}

}  // namespace

class GuiWaylandTest : public QObject {
    Q_OBJECT
public:
    explicit GuiWaylandTest(bool seat) : m_seat(seat) {}

private:
    bool m_seat;
    // The compositor's socket as an absolute path, for the programs started
    // here (the window's tests point XDG_RUNTIME_DIR elsewhere).
    QString m_socket = QDir(qEnvironmentVariable("XDG_RUNTIME_DIR"))
                           .absoluteFilePath(qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("wayland-0")));
    test::PrivateRuntimeDir m_runtime;
    TestTree m_library;

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("wayland"));
        if (qEnvironmentVariable("TAMBORO_WAYLAND_SEAT") == QStringLiteral("required"))
            QVERIFY2(m_seat, "the compositor offers no wl_seat");
        for (int i = 0; i < 40; ++i)
            m_library.WriteChart("Library/Pack " + std::to_string(i) + "/song.bms", "Genre",
                                 "Title " + std::to_string(60 - i), "Artist");
    }
    void init() { m_runtime.Use(); }

    // The program itself starts as a Wayland client and keeps running (it
    // used to die painting the path box on a compositor without a seat).
    void programRunsAsAWaylandClient()
    {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        env.insert(QStringLiteral("WAYLAND_DISPLAY"), m_socket);
        env.remove(QStringLiteral("DISPLAY"));
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(TAMBORO_BINARY), {});
        QVERIFY(program.waitForStarted());
        const bool ended = WaitUntil([&] { return program.state() == QProcess::NotRunning; }, 2000);
        const QByteArray why = (program.exitStatus() == QProcess::CrashExit ? "tamboro crashed: " : "tamboro ended: ") +
                               program.readAllStandardError();
        QVERIFY2(!ended, why.constData());
        program.kill();
        program.waitForFinished();
    }

    void closedIdleExitsWithThree()
    {
        bool pathBoxFocused = false;
        const int code = RunMainWindow([&](CTamboroDlg& dlg) {
            // The keyboard focus comes only with a seat: the compositor gives
            // the window the keyboard, and the path box takes it.
            pathBoxFocused = m_seat && WaitUntil([&] { return CTamboroDlgTesting::PathEdit(dlg)->hasFocus(); }, 5000);
            // Without a seat no key can reach the window (Qt's input context
            // would not cope with one either); the compositor's close request
            // is the way out there.
            if (m_seat)
                QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_Escape);
            else
                dlg.close();
        });
        QCOMPARE(code, CodeOf(ExitCode::ClosedIdle));
        QCOMPARE(pathBoxFocused, m_seat);
    }

    // A folder dropped on the path box, searched, sorted by title, a row's
    // folder opened (through a stand-in xdg-open that notes its argument),
    // and the window closed during a second search.
    void dropSearchSortOpenAndCloseDuringASearchExitsWithFour()
    {
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString opened = bin.filePath(QStringLiteral("opened"));
        QFile launcher(bin.filePath(QStringLiteral("xdg-open")));
        QVERIFY(launcher.open(QIODevice::WriteOnly));
        launcher.write(("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + opened + "'\n").toUtf8());
        launcher.close();
        QVERIFY(launcher.setPermissions(launcher.permissions() | QFile::ExeOwner));
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()) + ":" + path);

        const QString library = QString::fromStdString(m_library.Path("Library"));
        QStringList titles, openedLines;
        bool dropped = false;
        bool closed = false;
        const int code = RunMainWindow([&](CTamboroDlg& dlg) {
            dropped = DropFolderAt(dlg, CTamboroDlgTesting::PathEdit(dlg)->geometry().center(), library);
            Search(dlg);
            QHeaderView* header = CTamboroDlgTesting::List(dlg)->header();
            QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                              QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
            titles = Column(dlg, 2);
            DoubleClick(CTamboroDlgTesting::List(dlg)->viewport(), RowCenter(dlg, 0));
            // The stand-in makes its file before it writes the line: wait
            // for the whole line.
            WaitUntil(
                [&] {
                    QFile file(opened);
                    return file.open(QIODevice::ReadOnly) && file.readAll().endsWith('\n');
                },
                10000);
            QFile file(opened);
            if (file.open(QIODevice::ReadOnly))
                openedLines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
            QObject::connect(CTamboroDlgTesting::Pending(dlg), &PendingResults::RowsHandedOver, &dlg, [&] {
                if (!closed) {
                    closed = true;
                    dlg.close();
                }
            });
            QTest::mouseClick(CTamboroDlgTesting::SearchButton(dlg), Qt::LeftButton);
        });
        qputenv("PATH", path);

        QVERIFY(dropped);
        QCOMPARE(titles.size(), 40);
        QStringList sorted = titles;
        sorted.sort();
        QCOMPARE(titles, sorted);
        QCOMPARE(openedLines.size(), 1);
        QCOMPARE(QUrl(openedLines[0]).toLocalFile(), library + "/Pack 39/");  // "Title 21", first
        QVERIFY(closed);
        QCOMPARE(code, CodeOf(ExitCode::ClosedAfterSearch));
    }

    // Copied rows reach the Wayland clipboard, and text on it pastes into
    // the path box. Wayland has no clipboard without a seat.
    void copyAndPasteGoThroughTheClipboard()
    {
        if (!m_seat)
            QSKIP("the compositor offers no seat, and so no clipboard");
        const QString library = QString::fromStdString(m_library.Path("Library"));
        QString copied, pasted, expected;
        bool active = false;
        const int code = RunMainWindow([&](CTamboroDlg& dlg) {
            active = WaitUntil([&] { return dlg.isActiveWindow(); }, 5000);
            CTamboroDlgTesting::PathEdit(dlg)->setText(library);
            Search(dlg);
            for (int column = 0; column < 4; ++column)
                expected += Column(dlg, column).value(0) + (column < 3 ? "\t" : "\n");
            QTest::mouseClick(CTamboroDlgTesting::List(dlg)->viewport(), Qt::LeftButton, Qt::NoModifier,
                              RowCenter(dlg, 0));
            QTest::keyClick(CTamboroDlgTesting::List(dlg), Qt::Key_C, Qt::ControlModifier);
            WaitUntil([&] { return !QGuiApplication::clipboard()->text().isEmpty(); }, 5000);
            copied = QGuiApplication::clipboard()->text();

            QGuiApplication::clipboard()->setText(library + "/Pack 7");
            CTamboroDlgTesting::PathEdit(dlg)->clear();
            CTamboroDlgTesting::PathEdit(dlg)->setFocus();
            QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_V, Qt::ControlModifier);
            pasted = CTamboroDlgTesting::PathEdit(dlg)->text();
            QTest::keyClick(CTamboroDlgTesting::PathEdit(dlg), Qt::Key_Escape);
        });
        QCOMPARE(code, CodeOf(ExitCode::ClosedIdle));
        QVERIFY(active);
        QVERIFY(expected.startsWith(library + "/Pack "));
        QCOMPARE(copied, expected);
        QCOMPARE(pasted, library + "/Pack 7");
    }
};

}  // namespace tamboro

int main(int argc, char** argv)
{
    const std::optional<bool> seat = tamboro::CompositorSeat();
    if (!seat) {
        std::puts("SKIP: no Wayland compositor answers at WAYLAND_DISPLAY");
        return 77;
    }
    qputenv("QT_QPA_PLATFORM", "wayland");
    tamboro::CTamboroApp app(argc, argv);
    tamboro::GuiWaylandTest test(*seat);
    return QTest::qExec(&test, argc, argv);
}

#include "GuiWaylandTest.moc"
