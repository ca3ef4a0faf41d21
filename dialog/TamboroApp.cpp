#include "dialog/TamboroApp.h"

#include <cstdlib>

#include "dialog/TamboroDlg.h"
#include "platform/DirectoryReader.h"
#include "platform/WorkerThread.h"

namespace tamboro {

CTamboroApp::CTamboroApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Tamboro"));
    setApplicationDisplayName(QString());
    setOrganizationName(QString());
    // Lets desktops match the window to tamboro.desktop and its icon.
    setDesktopFileName(QStringLiteral("tamboro"));
}

int CTamboroApp::InitInstance()
{
    return RunMainWindow();
}

int CTamboroApp::RunMainWindow()
{
    // A scan keeps one descriptor open per level of the tree.
    RaiseOpenFileLimit();
    int code;
    {
        CTamboroDlg dlg;
        code = dlg.DoModal();
    }
    // The window ended its own workers; nothing else may outlive main.
    WorkerThread::EndAllAndJoin(CTamboroDlg::kQuitSearchFinished);
    return code;
}

bool CTamboroApp::HasDisplay()
{
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && value[0] != '\0')
            return true;
    }
    return false;
}

}  // namespace tamboro
