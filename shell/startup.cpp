// Start-up, message loop and shutdown on the main thread.
//   run_startup, run_message_loop, run_shutdown, report_startup_failure (see startup.h)
#include "shell/startup.h"

#include "display/information_windows.h"
#include "engine/chooser_state.h"
#include "resources/resource.h"
#include "shell/copy_worker.h"
#include "shell/main_window.h"
#include "shell/media_selection.h"
#include "shell/media_rules.h"
#include "shell/program_state.h"

ProgramState g_program;

namespace {

struct StartupRecord {
    bool worker_created = false;
};
StartupRecord g_startup;

bool register_main_class()
{
    WNDCLASSA wc = {};
    wc.style = CS_BYTEALIGNCLIENT | CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = main_window_proc;
    wc.hInstance = g_program.instance;
    wc.hIcon = LoadIconA(g_program.instance, "MainIcon");
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    // Lives until the process ends, like the class itself.
    wc.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
    wc.lpszMenuName = "MainMenu";
    wc.lpszClassName = kMainClassName;
    return RegisterClassA(&wc) != 0;
}

bool register_popup_class()
{
    // A fresh record: nothing of the main class may carry over.
    WNDCLASSA wc = {};
    wc.style = CS_BYTEALIGNCLIENT | CS_SAVEBITS | CS_OWNDC;
    wc.lpfnWndProc = popup_window_proc;
    wc.hInstance = g_program.instance;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kPopupClassName;
    return RegisterClassA(&wc) != 0;
}

bool create_main_window()
{
    g_program.main_window = CreateWindowExA(0, kMainClassName, kProductName, WS_OVERLAPPEDWINDOW,
                                            100, 200, 400, 300, nullptr, nullptr,
                                            g_program.instance, nullptr);
    return g_program.main_window != nullptr;
}

} // namespace

int run_startup(HINSTANCE instance)
{
    g_program.instance = instance;
    SetCursor(LoadCursorA(nullptr, IDC_WAIT));
    // An empty or unready drive must come back to the jobs as a failed call, which they
    // answer with their own questions, not as the system's own "no disk" dialog over them.
    SetErrorMode(SEM_FAILCRITICALERRORS);

    if (!register_main_class() || !register_popup_class())
        return kStartupClassFailed;

    g_program.screen_width = GetSystemMetrics(SM_CXSCREEN);
    g_program.screen_height = GetSystemMetrics(SM_CYSCREEN);

    if (!create_main_window())
        return kStartupWindowFailed;
    g_program.main_menu = GetMenu(g_program.main_window);

    // The bare product name must never be seen: the media title goes on before the first show.
    update_window_title(kMediaFloppy);
    ShowWindow(g_program.main_window, SW_SHOWMAXIMIZED);
    UpdateWindow(g_program.main_window);

    // On a page boundary: a piece read back past the file cache must be read into a buffer
    // aligned to the medium's sectors.
    g_program.transfer_buffer = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, kTransferBufferSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!g_program.transfer_buffer)
        return kStartupMemoryFailed;

    reset_chooser_state();
    CheckMenuItem(g_program.main_menu, IDM_MEDIA_FLOPPY, MF_BYCOMMAND | MF_CHECKED);

    // Without the worker no job could ever run, so the program refuses to start.
    g_startup.worker_created = create_copy_worker();
    if (!g_startup.worker_created)
        return kStartupWorkerFailed;

    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    return kStartupOk;
}

int run_message_loop()
{
    MSG msg = {};
    BOOL got;
    while ((got = GetMessageA(&msg, nullptr, 0, 0)) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // -1 is a failed call, not a quit message: msg holds nothing of use then.
    return got == 0 ? static_cast<int>(msg.wParam) : 0;
}

void run_shutdown()
{
    if (g_startup.worker_created) {
        stop_copy_worker();
        g_startup.worker_created = false;
    }
    if (g_program.transfer_buffer) {
        VirtualFree(g_program.transfer_buffer, 0, MEM_RELEASE);
        g_program.transfer_buffer = nullptr;
    }
}

void report_startup_failure(int code)
{
    char text[260] = "";
    LoadStringA(g_program.instance, static_cast<UINT>(code), text, sizeof text);
    MessageBoxA(nullptr, text, nullptr, MB_ICONERROR);
}
