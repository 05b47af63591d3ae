// GUI entry point: start-up, message loop, shutdown. The command line and the show
// command are ignored on purpose: every run starts the same way, maximised.
#include "shell/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const int code = run_startup(instance);
    if (code != kStartupOk) {
        report_startup_failure(code);
        run_shutdown();
        return 0;
    }
    const int exit_code = run_message_loop();
    run_shutdown();
    return exit_code;
}
