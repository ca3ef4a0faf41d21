// tamboro: the window that searches a folder tree for BMS charts. It takes
// no command line of its own.
#include <cstdio>

#include "dialog/TamboroApp.h"

int main(int argc, char** argv)
{
    if (!tamboro::CTamboroApp::HasDisplay()) {
        std::fputs("tamboro: no display to show the window on (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are unset)\n",
                   stderr);
        return 1;
    }
    tamboro::CTamboroApp app(argc, argv);
    return app.InitInstance();
}
