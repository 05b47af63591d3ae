// The About and How To Use windows on the real program: size, place, owner, text, and
// the wait that serves only painting until a left press in the window's client area.
#include <doctest.h>

#include <string>
#include <vector>

#include "driver/ui_driver.h"
#include "resources/resource.h"

namespace {

const std::string kFloppyTitle = "Sliverdisk Utility - Media: Floppy";
constexpr DWORD kInformationStyle = 0x96C00000;  // pop-up, visible, clipping, caption only

// A visible information window of the program, by title.
HWND find_popup(const drv::Program& app, const std::string& title)
{
    for (HWND w : app.windows("SLIVERDISKMSG"))
        if (drv::window_text(w) == title)
            return w;
    return nullptr;
}

HWND wait_popup(const drv::Program& app, const std::string& title)
{
    HWND found = nullptr;
    drv::wait_until([&] { return (found = find_popup(app, title)) != nullptr; });
    return found;
}

POINT client_centre(HWND window)
{
    RECT r;
    GetClientRect(window, &r);
    POINT p = {r.right / 2, r.bottom / 2};
    ClientToScreen(window, &p);
    return p;
}

void check_placement(HWND window, HWND main, int width, int height)
{
    RECT r;
    GetWindowRect(window, &r);
    CHECK(r.right - r.left == width);
    CHECK(r.bottom - r.top == height);
    CHECK(r.left == (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
    CHECK(r.top == (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
    CHECK(GetWindow(window, GW_OWNER) == main);
    CHECK(DWORD(GetWindowLongA(window, GWL_STYLE)) == kInformationStyle);
}

} // namespace

TEST_CASE("About and How To Use open their windows centred on the screen; a left press closes them")
{
    struct Window { UINT command; std::string title; int width, height; const char* picture; };
    for (const Window& w : {Window{IDM_ABOUT, "About", 300, 220, "display_about_window_screen.png"},
                            Window{IDM_HOW_TO_USE, "Instructions...", 600, 350,
                                   "display_how_to_use_window_screen.png"}}) {
        CAPTURE(w.title);
        drv::Program app;
        REQUIRE(app.start());
        app.command(w.command);
        HWND window = wait_popup(app, w.title);
        REQUIRE(window != nullptr);
        check_placement(window, app.main_window(), w.width, w.height);
        drv::screenshot(w.picture);
        // Closed on the press itself: no release follows.
        PostMessageA(window, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(w.width / 2, 90));
        CHECK(drv::wait_until([&] { return !IsWindow(window); }, 3000));
        app.command(IDM_EXIT);
        CHECK(app.wait_exit() == 0u);
    }
}

TEST_CASE("while an information window is open all other input is thrown away for good")
{
    drv::Program app;
    REQUIRE(app.start());
    app.command(IDM_ABOUT);
    HWND about = wait_popup(app, "About");
    REQUIRE(about != nullptr);
    RECT placed;
    GetWindowRect(about, &placed);
    const POINT centre = client_centre(about);

    // Input as the platform queues it for the windows. (Under Xvfb without a window
    // manager, Wine may stack the pop-up beneath its maximised owner on the display, so
    // pointer input injected at screen positions does not reliably reach it.)
    const LPARAM inside = MAKELPARAM(150, 90);
    PostMessageA(about, WM_RBUTTONDOWN, MK_RBUTTON, inside);
    PostMessageA(about, WM_RBUTTONUP, 0, inside);
    PostMessageA(about, WM_LBUTTONUP, 0, inside);
    PostMessageA(about, WM_LBUTTONDBLCLK, MK_LBUTTON, inside);
    for (HWND target : {about, app.main_window()}) {
        PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0000001);
        PostMessageA(target, WM_KEYDOWN, VK_RETURN, 1);
        PostMessageA(target, WM_KEYUP, VK_RETURN, 0xC0000001);
    }
    // A press on the caption neither closes nor moves the window.
    PostMessageA(about, WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(centre.x, placed.top + 8));
    PostMessageA(app.main_window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    app.command(IDM_MEDIA_ZIP);
    app.command(IDM_HOW_TO_USE);
    app.command(IDM_EXIT);
    app.close();
    REQUIRE(app.wait_messages_handled());
    CHECK(IsWindow(about));
    RECT still;
    GetWindowRect(about, &still);
    CHECK(still.left == placed.left);
    CHECK(still.top == placed.top);
    CHECK(app.running());
    CHECK(app.title() == kFloppyTitle);
    CHECK(find_popup(app, "Instructions...") == nullptr);

    // The main window keeps painting: made smaller, it draws its gradient for the new size.
    HWND main = app.main_window();
    ShowWindow(main, SW_RESTORE);
    SetWindowPos(main, nullptr, 0, 0, 500, 400, SWP_NOZORDER | SWP_NOACTIVATE);
    REQUIRE(app.wait_messages_handled());
    RECT mc;
    GetClientRect(main, &mc);
    POINT mo = {0, 0};
    ClientToScreen(main, &mo);
    const int band = mc.bottom / 128;
    REQUIRE(band >= 1);
    // What a window paints reaches the display a moment later: read until it shows.
    drv::ScreenArea area;
    const auto shade = [&](int band_index) { return area.at(mo.x + 5, mo.y + band_index * band); };
    drv::wait_until([&] {
        return drv::read_screen("display_main_behind_about.png", mo.x, mo.y, 20, mc.bottom, area) &&
               shade(0) == RGB(0, 0, 255) && shade(50) == RGB(0, 0, 155);
    });
    CHECK(shade(0) == RGB(0, 0, 255));
    CHECK(shade(50) == RGB(0, 0, 155));
    CHECK(area.at(mo.x + 5, mo.y + 128 * band - 1) == RGB(0, 0, 1));

    PostMessageA(about, WM_LBUTTONDOWN, MK_LBUTTON, inside);
    CHECK(drv::wait_until([&] { return !IsWindow(about); }, 3000));

    // Nothing that was thrown away happens later.
    REQUIRE(app.wait_messages_handled());
    CHECK(app.running());
    CHECK(app.title() == kFloppyTitle);
    CHECK(find_popup(app, "Instructions...") == nullptr);
    CHECK(app.dialogs().empty());
    app.command(IDM_EXIT);
    CHECK(app.wait_exit() == 0u);
}
