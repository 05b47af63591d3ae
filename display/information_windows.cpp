// Pop-up window procedure and the two click-to-close information windows.
//   popup_window_proc, open_about_window, open_how_to_use_window, set_information,
//   set_information_text, information_text (see information_windows.h)
// An information window is modal in its own way: the command that opens it waits for a
// left-button press in it and meanwhile serves only painting, so every other input of
// the main thread is thrown away.
#include "display/information_windows.h"

#include "display/band_painters.h"
#include "display/progress_rules.h"
#include "display/progress_window.h"
#include "shell/program_state.h"
#include "sliverdisk_version.h"

namespace {

constexpr char kAboutTitle[] = "About";
constexpr char kAboutText[] =
    "Sliverdisk Utility\n"
    "Version " SLIVERDISK_VERSION_TEXT "\n"
    "\n"
    "Made By The Sliverdisk Project\n"
    "www.sliverdisk.example.org\n"
    "\n"
    "Freeware. Use At Your Own Risk.\n"
    "\n"
    "{Click In This Window To Close}";

constexpr DWORD kInformationStyle =
    WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION;
static_assert(kInformationStyle == 2529165312u, "caption without buttons, no system menu");

constexpr int kAboutWidth = 300;
constexpr int kAboutHeight = 220;
constexpr int kHowToUseWidth = 600;
constexpr int kHowToUseHeight = 350;
constexpr int kTextMargin = 10;

struct InformationState {
    HWND about_window = nullptr;
    HWND how_to_use_window = nullptr;
    char title[32] = "";
    const char* text = "";
};
InformationState g_information;

void paint_information(HWND window, HDC dc, const char* text)
{
    RECT area;
    GetClientRect(window, &area);
    paint_light_shading(window, dc);
    SetBkMode(dc, TRANSPARENT);
    InflateRect(&area, -kTextMargin, -kTextMargin);
    DrawTextA(dc, text, -1, &area, DT_WORDBREAK | DT_CENTER);
}

LRESULT on_paint(HWND window, WPARAM wparam, LPARAM lparam)
{
    // The progress window belongs to the worker, the others to the main thread; each
    // handle is written only by the thread that owns its window.
    const bool progress = window == progress_window();
    const bool about = !progress && window == g_information.about_window;
    const bool how_to_use = !progress && !about && window == g_information.how_to_use_window;
    if (!progress && !about && !how_to_use)
        return DefWindowProcA(window, WM_PAINT, wparam, lparam);

    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    if (progress)
        paint_progress();
    else
        paint_information(window, dc, about ? kAboutText : information_text());
    EndPaint(window, &ps);
    return 0;
}

// Serves paint messages only, until the awaited message reaches the window. Returns
// false when the quit message ended the wait instead; its exit code is then in quit_code.
bool wait_for_click(HWND window, UINT awaited, WPARAM& quit_code)
{
    MSG msg;
    for (;;) {
        const BOOL got = GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            quit_code = msg.wParam;
            return false;
        }
        if (got < 0)
            return true;
        if (msg.hwnd == window && msg.message == awaited)
            return true;
        if (msg.message == WM_PAINT) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void open_information_window(HWND& handle, const char* title, int width, int height)
{
    const int left = centred_offset(g_program.screen_width, width);
    const int top = centred_offset(g_program.screen_height, height);
    handle = CreateWindowExA(0, kPopupClassName, title, kInformationStyle, left, top, width,
                             height, g_program.main_window, nullptr, g_program.instance,
                             nullptr);
    if (!handle)
        return;
    WPARAM quit_code = 0;
    const bool clicked = wait_for_click(handle, WM_LBUTTONDOWN, quit_code);
    DestroyWindow(handle);
    handle = nullptr;
    // The wait took the quit message out of the queue; the message loop must still end on it.
    if (!clicked)
        PostQuitMessage(static_cast<int>(quit_code));
}

} // namespace

LRESULT CALLBACK popup_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT:
        return on_paint(window, wparam, lparam);
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}

void open_about_window()
{
    open_information_window(g_information.about_window, kAboutTitle, kAboutWidth, kAboutHeight);
}

void open_how_to_use_window()
{
    open_information_window(g_information.how_to_use_window, g_information.title,
                            kHowToUseWidth, kHowToUseHeight);
}

void set_information(const char* title, const char* text)
{
    lstrcpynA(g_information.title, title, sizeof g_information.title);
    g_information.text = text;
}

void set_information_text(const char* text)
{
    g_information.text = text;
}

const char* information_text()
{
    return g_information.text ? g_information.text : "";
}
