#pragma once

#include "app/data_folders.h"

// The program's session: libraries, the single-instance guard, the data folders, the repository
// and the main window, set up in that order and taken down in reverse.
class CPellmarApp {
public:
    // Runs the session on the QApplication that main() made; returns the exit status: 0 after the
    // main window closed or when another instance runs (it has been brought to the front), 1 when
    // start-up failed (the user has been told why).
    int InitInstance();

private:
    // Runs on the guard's watcher thread: hands the request to the user-interface thread, where
    // the main window, if there is one by then, comes to the front.
    static void PostBringToFront();
    static void RunMainWindow();

    CDataFolders m_folders;
};
