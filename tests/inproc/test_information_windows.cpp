// The information windows opened in-process on the main thread, read from their own
// surface while the click wait runs: shading, the texts and where they stand, the close
// on a left press, and a quit message arriving meanwhile.
#include <doctest.h>

#include <algorithm>
#include <string>

#include "display/information_windows.h"
#include "display_test_support.h"
#include "driver/ui_driver.h"
#include "shell/main_window.h"

using display_test::Ink;
using display_test::Pixels;

namespace {

// What a second thread saw of the open window; checked on the main thread afterwards.
struct Observation {
    const char* title = "";
    const char* picture = "";
    bool post_quit = false;
    HWND window = nullptr;
    Pixels pixels;
};

DWORD WINAPI observe(void* p)
{
    Observation* o = static_cast<Observation*>(p);
    drv::wait_until([&] {
        HWND w = FindWindowA(kPopupClassName, o->title);
        o->window = w && IsWindowVisible(w) ? w : nullptr;
        return o->window != nullptr;
    });
    if (!o->window)
        return 0;
    // The main thread's wait dispatches the window's first paint, which empties its update
    // region.
    drv::wait_until([&] { return !GetUpdateRect(o->window, nullptr, FALSE); });
    o->pixels = display_test::read_window(o->window);
    if (*o->picture)
        display_test::save_picture(o->pixels, o->picture);
    if (o->post_quit)
        PostThreadMessageA(GetWindowThreadProcessId(o->window, nullptr), WM_QUIT, 7, 0);
    else
        PostMessageA(o->window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
    return 0;
}

// Opens an information window the way its menu command does, with an observer thread. The
// command returns only once the window is clicked: if that never happens, the watchdog ends
// the test program.
Observation open_and_observe(void (*open)(), const char* title, const char* picture,
                             bool post_quit = false)
{
    display_test::create_main_window(640, 440);
    Observation o;
    o.title = title;
    o.picture = picture;
    o.post_quit = post_quit;
    drv::Watchdog guard(std::string("the window \"") + title + "\" showing and closing");
    HANDLE thread = CreateThread(nullptr, 0, observe, &o, 0, nullptr);
    open();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return o;
}

// The black pixels of a text drawn alone with the default (system) font.
Ink ink_of(const std::string& text)
{
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    TEXTMETRICA tm;
    GetTextMetricsA(memory, &tm);
    const int w = 700, h = tm.tmHeight;
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(memory, bitmap);
    RECT r = {0, 0, w, h};
    FillRect(memory, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(memory, TRANSPARENT);
    TextOutA(memory, 0, 0, text.c_str(), int(text.size()));
    const Pixels p = display_test::read_dc(memory, w, h);
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return display_test::ink_columns(p);
}

int line_height()
{
    return ink_of("X").height;
}

// The column where the text shows with its top row at `top`, or -1.
int find_text(const Pixels& p, const std::string& text, int top)
{
    const Ink ink = ink_of(text);
    if (ink.width <= 0 || top < 0 || top + ink.height > p.height)
        return -1;
    for (int x = 0; x + ink.width <= p.width; ++x) {
        bool all = true;
        for (int y = 0; y < ink.height && all; ++y)
            for (int i = 0; i < ink.width && all; ++i)
                all = p.black(x + i, top + y) == ink.on[size_t(y) * ink.width + i];
        if (all)
            return x;
    }
    return -1;
}

// Centred: as much room on the left as on the right of the text, give or take a pixel.
bool centred(const Pixels& p, const std::string& text, int top)
{
    const int x = find_text(p, text, top);
    const int right_room = p.width - (x + ink_of(text).width);
    return x >= 0 && std::abs(x - right_room) <= 3;
}

} // namespace

TEST_CASE("the About window shows its nine lines centred over the light shading")
{
    const Observation o = open_and_observe(open_about_window, "About", "display_about_window.png");
    REQUIRE(o.window != nullptr);
    CHECK_FALSE(IsWindow(o.window));  // the press closed it and the command returned
    const Pixels& p = o.pixels;
    REQUIRE(p.width > 0);
    const int band = p.height / 64 + 1;
    CHECK(p.at(2, 0) == RGB(255, 255, 255));
    CHECK(p.at(2, band) == RGB(251, 251, 251));
    CHECK(p.at(p.width - 1, p.height - 1) == RGB(255 - 4 * ((p.height - 1) / band),
                                                 255 - 4 * ((p.height - 1) / band),
                                                 255 - 4 * ((p.height - 1) / band)));
    const int line = line_height();
    CHECK(centred(p, "Sliverdisk Utility", 10));
    CHECK(centred(p, "Version 1.3", 10 + line));
    CHECK(find_text(p, "{Click In This Window To Close}", 10 + 8 * line) >= 0);
    display_test::destroy_main_window();
}

TEST_CASE("the How To Use window shows the information text under its title")
{
    set_information("Instructions...", kHowToUseText);
    const Observation o =
        open_and_observe(open_how_to_use_window, "Instructions...", "display_how_to_use_window.png");
    REQUIRE(o.window != nullptr);
    CHECK_FALSE(IsWindow(o.window));
    const Pixels& p = o.pixels;
    REQUIRE(p.width > 0);
    const int line = line_height();
    CHECK(centred(p, "Sliverdisk Media Copy Utility", 10));
    CHECK(find_text(p, "Select Your Media, Or Enter A Custom Media Size.", 10 + 6 * line) >= 0);
    display_test::destroy_main_window();
}

TEST_CASE("a quit message during the wait closes the window and still ends the message loop")
{
    const Observation o = open_and_observe(open_about_window, "About", "", true);
    REQUIRE(o.window != nullptr);
    CHECK_FALSE(IsWindow(o.window));
    MSG msg;
    REQUIRE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    CHECK(msg.wParam == 7);
    display_test::destroy_main_window();
}

TEST_CASE("a window that cannot be created makes the command return without a click")
{
    drv::Watchdog guard("the command returning");
    display_test::register_classes();
    set_information("Instructions...", nullptr);
    const int width = g_program.screen_width;
    g_program.screen_width = 0;
    // An owner that is not a window makes the creation fail.
    HWND parked = g_program.main_window;
    g_program.main_window = reinterpret_cast<HWND>(0x7FFF0);
    open_about_window();
    CHECK(FindWindowA(kPopupClassName, "About") == nullptr);
    g_program.main_window = parked;
    g_program.screen_width = width;
}
