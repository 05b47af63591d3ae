// Program life cycle on the main thread.
//   run_startup      - registers the classes, shows the main window, allocates the
//                      transfer buffer, sets the initial state and creates the copy worker;
//                      returns 0 or the string-table id of the failure
//   run_message_loop - dispatches until the quit message; returns its exit code
//   run_shutdown     - stops the copy worker and frees the transfer buffer
//   report_startup_failure - the ownerless error box for a start-up code
#ifndef SLIVERDISK_STARTUP_H
#define SLIVERDISK_STARTUP_H

#include <windows.h>

enum StartupResult : int {
    kStartupOk = 0,
    kStartupClassFailed = 1,      // IDS_ERR_REGISTER_CLASS
    kStartupWindowFailed = 2,     // IDS_ERR_CREATE_WINDOW
    kStartupWorkerFailed = 4,     // IDS_ERR_INITIALIZATION
    kStartupMemoryFailed = 6,     // IDS_ERR_MEMORY
};

int run_startup(HINSTANCE instance);
int run_message_loop();
void run_shutdown();
void report_startup_failure(int code);

#endif
