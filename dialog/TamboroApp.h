// The application: starts the program and runs the main window until it ends.
#pragma once

#include <QApplication>

namespace tamboro {

class CTamboroApp : public QApplication {
    Q_OBJECT
public:
    CTamboroApp(int& argc, char** argv);

    // Runs the program: the main window until it ends. Returns the exit
    // code: 0 when the state block could not be set up, 3 when closed while
    // idle, 4 when closed after waiting for a search. Every worker thread
    // has ended when it returns.
    int InitInstance();

    // InitInstance's work under an application object that already exists.
    static int RunMainWindow();
};

}  // namespace tamboro
