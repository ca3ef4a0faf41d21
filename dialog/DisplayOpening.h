// Opening the display the window is shown on. Without a display named, or
// with one named that cannot be opened, the program says so in one line and
// ends with status 1, instead of Qt's abort.
#pragma once

#include <string>

namespace tamboro {

// Whether a display is named at all: DISPLAY, WAYLAND_DISPLAY or
// QT_QPA_PLATFORM is set.
bool DisplayNamed();

// The one line (with its newline) that says no window can be shown, naming
// the variables that were tried.
std::string NoDisplayMessage();

// Lives while the application object opens its display. Qt's messages wait
// meanwhile; when Qt cannot start any platform plugin (a display named but
// not reachable), the program prints NoDisplayMessage and exits with 1, and
// Qt's own complaints about it are left out. Done() (or the destructor) puts
// back the previous message handler and hands it what waited.
class DisplayOpening {
public:
    DisplayOpening();
    ~DisplayOpening();
    DisplayOpening(const DisplayOpening&) = delete;
    DisplayOpening& operator=(const DisplayOpening&) = delete;

    void Done();

private:
    bool m_bDone = false;
};

}  // namespace tamboro
