#include "dialog/TamboroApp.h"

#include <QLocale>

#include "dialog/QtTranslation.h"
#include "dialog/QuitCodes.h"
#include "dialog/TamboroDlg.h"
#include "platform/DirectoryReader.h"
#include "worker/WorkerThread.h"

namespace tamboro {

CTamboroApp::CTamboroApp(int& argc, char** argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("Tamboro"));
    setApplicationDisplayName(QString());
    setOrganizationName(QString());
    // Lets desktops match the window to tamboro.desktop and its icon.
    setDesktopFileName(QStringLiteral("tamboro"));
    // Without Qt's translations installed its texts stay English.
    static_cast<void>(TranslateQtTexts(*this, QLocale(), QtTranslationsFolder()));
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
    WorkerThread::EndAllAndJoin(CodeOf(WorkerQuitCode::SearchFinished));
    return code;
}

}  // namespace tamboro
