// The progress window as the jobs use it: a main window served by the main thread and
// every progress call made on a worker thread, with the pixels read back on the worker.
#include <doctest.h>

#include <algorithm>
#include <string>

#include "display/progress_window.h"
#include "display_test_support.h"

using display_test::Ink;
using display_test::Pixels;

namespace {

constexpr int kMainWidth = 640;
constexpr int kMainHeight = 440;

struct Bar {
    int W = 0, H = 0, L = 0, a = 0;
};

// The shown window's bar of `width` columns, worked out by hand for its step count: below 300
// steps each step draws 300 / n columns (n of them); from 300 on, every k-th step draws one,
// k = n / 300 + 1, and the bar is n / k columns. Centred, halved toward zero.
Bar bar_of_width(int width)
{
    RECT client;
    GetClientRect(progress_window(), &client);
    Bar b;
    b.W = client.right;
    b.H = client.bottom;
    b.a = width;
    b.L = (b.W - b.a) / 2;
    return b;
}

Pixels shot()
{
    return display_test::read_window(progress_window());
}

// Black columns of the fill area, counted along its middle row from the bar's left.
int black_columns(const Pixels& p, const Bar& b)
{
    int n = 0;
    while (b.L + n < b.W && p.black(b.L + n, b.H - 11))
        ++n;
    return n;
}

// The fill area is black in exactly its first `filled` columns, for all ten rows, and
// nowhere after them up to the frame.
bool bar_filled_exactly(const Pixels& p, const Bar& b, int filled)
{
    for (int x = b.L; x <= b.L + b.a; ++x)
        for (int y = b.H - 16; y <= b.H - 7; ++y)
            if (p.black(x, y) != (x < b.L + filled))
                return false;
    return true;
}

bool black_in_rows(const Pixels& p, int top, int bottom)
{
    for (int y = top; y < bottom; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.black(x, y))
                return true;
    return false;
}

int text_line_height()
{
    HDC dc = GetDC(progress_window());
    TEXTMETRICA tm;
    GetTextMetricsA(dc, &tm);
    ReleaseDC(progress_window(), dc);
    return tm.tmHeight;
}

// Runs the job's side of a test on a worker while the main window is served.
void as_job(const std::function<void()>& work)
{
    display_test::create_main_window(kMainWidth, kMainHeight);
    CHECK(display_test::run_on_worker(work));
    display_test::destroy_main_window();
}

// The ink (black pixels) of a text drawn alone with the kept DC's font, trimmed to its
// first and last inked column.
Ink ink_of(const char* text)
{
    HDC window_dc = GetDC(progress_window());
    HFONT font = static_cast<HFONT>(GetCurrentObject(window_dc, OBJ_FONT));
    TEXTMETRICA tm;
    GetTextMetricsA(window_dc, &tm);
    HDC memory = CreateCompatibleDC(window_dc);
    const int w = 600, h = tm.tmHeight;
    HBITMAP bitmap = CreateCompatibleBitmap(window_dc, w, h);
    HGDIOBJ old_bitmap = SelectObject(memory, bitmap);
    HGDIOBJ old_font = SelectObject(memory, font);
    RECT r = {0, 0, w, h};
    FillRect(memory, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(memory, TRANSPARENT);
    TextOutA(memory, 0, 0, text, lstrlenA(text));
    const Pixels p = display_test::read_dc(memory, w, h);
    SelectObject(memory, old_font);
    SelectObject(memory, old_bitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(progress_window(), window_dc);

    return display_test::ink_columns(p);
}

// Whether the window shows exactly this ink with its left column at (x, top).
bool shows_ink(const Pixels& p, const Ink& ink, int x, int top)
{
    if (x < 0 || x + ink.width > p.width)
        return false;
    for (int y = 0; y < ink.height; ++y)
        for (int i = 0; i < ink.width; ++i)
            if (p.black(x + i, top + y) != ink.at(i, y))
                return false;
    return true;
}

// "" when both show the same, else the count and the first differences. Inside the text
// area only where the ink is counts: set status draws the hint over the hint already
// there, which darkens its smoothed edges, and a repaint draws it once.
std::string differing_pixels(const Pixels& a, const Pixels& b, const Bar& bar)
{
    auto ink = [&](const Pixels& p, int x, int y) { return p.at(x, y) != p.at(0, y); };
    auto in_text = [&](int x, int y) { return x >= 2 && x < bar.W - 2 && y >= 2 && y < bar.H - 20; };
    std::string out;
    int count = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if ((in_text(x, y) ? ink(a, x, y) != ink(b, x, y) : a.at(x, y) != b.at(x, y)) &&
                ++count <= 5)
                out += "(" + std::to_string(x) + "," + std::to_string(y) + ") " +
                       std::to_string(a.at(x, y)) + " vs " + std::to_string(b.at(x, y)) + "; ";
    return count ? std::to_string(count) + " differ: " + out : "";
}

bool shows_ink_on_line(const Pixels& p, const Ink& ink, int top, int width)
{
    for (int x = 0; x < width; ++x)
        if (shows_ink(p, ink, x, top))
            return true;
    return false;
}

// What the worker asked for when it created its window.
struct Creation {
    DWORD ex_style = 0;
    HWND parent = nullptr;
    std::string title;
};
Creation g_created;

LRESULT CALLBACK watch_creation(int code, WPARAM wparam, LPARAM lparam)
{
    const CREATESTRUCTA* cs =
        code == HCBT_CREATEWND ? reinterpret_cast<CBT_CREATEWNDA*>(lparam)->lpcs : nullptr;
    // The thread's first window is the input method's own; only the pop-up class counts.
    if (cs && HIWORD(cs->lpszClass) && lstrcmpiA(cs->lpszClass, kPopupClassName) == 0) {
        g_created.ex_style = cs->dwExStyle;
        g_created.parent = cs->hwndParent;
        g_created.title = cs->lpszName ? cs->lpszName : "";
    }
    return CallNextHookEx(nullptr, code, wparam, lparam);
}

} // namespace

TEST_CASE("the progress window is a topmost 320 x 100 child centred in the main client area")
{
    as_job([] {
        HHOOK hook = SetWindowsHookExA(WH_CBT, watch_creation, nullptr, GetCurrentThreadId());
        show_progress(11);
        UnhookWindowsHookEx(hook);
        HWND w = progress_window();
        REQUIRE(w != nullptr);
        CHECK(GetParent(w) == g_program.main_window);
        CHECK(GetWindowThreadProcessId(w, nullptr) == GetCurrentThreadId());
        RECT r;
        GetWindowRect(w, &r);
        CHECK(r.right - r.left == 320);
        CHECK(r.bottom - r.top == 100);
        MapWindowPoints(nullptr, g_program.main_window, reinterpret_cast<POINT*>(&r), 2);
        CHECK(r.left == (kMainWidth - 320) / 2);
        CHECK(r.top == (kMainHeight - 100) / 2);
        const LONG style = GetWindowLongA(w, GWL_STYLE);
        CHECK((style & WS_CHILD) != 0);
        CHECK((style & WS_CAPTION) == WS_CAPTION);
        CHECK((style & WS_SYSMENU) == 0);
        CHECK((style & WS_VISIBLE) != 0);
        // The platform drops the topmost bit from a child's style; what was asked for is
        // seen at creation.
        CHECK((g_created.ex_style & WS_EX_TOPMOST) != 0);
        CHECK(g_created.parent == g_program.main_window);
        CHECK(g_created.title == "Standby...");

        set_status("Writing: A:\\REPORT.DOC_1");
        for (int i = 0; i < 11; ++i)
            progress_step();
        finish_progress();
        char caption[64] = "";
        GetWindowTextA(w, caption, sizeof caption);
        CHECK(std::string(caption) == "Standby...");
        close_progress();
        CHECK(progress_window() == nullptr);
        CHECK_FALSE(IsWindow(w));
        close_progress();  // a second close finds nothing to do
        CHECK(progress_window() == nullptr);
    });
}

TEST_CASE("after n steps exactly the bar's a columns are black and no more")
{
    struct Case {
        uint32_t n;
        int width;          // a
        int after_half;     // columns after n / 2 steps
    };
    // 11 steps: a 1,400,000-byte piece; 748: 98,000,000 bytes; 7630: 10^9 bytes.
    const Case cases[] = {{1, 300, 0},     {7, 294, 126},   {11, 297, 135},
                          {299, 299, 149}, {300, 150, 75},  {599, 299, 149},
                          {600, 200, 100}, {748, 249, 124}, {7630, 293, 146}};
    as_job([&] {
        for (const Case& c : cases) {
            CAPTURE(c.n);
            show_progress(c.n);
            const Bar b = bar_of_width(c.width);
            CHECK(bar_filled_exactly(shot(), b, 0));
            for (uint32_t i = 0; i < c.n / 2; ++i)
                progress_step();
            CHECK(bar_filled_exactly(shot(), b, c.after_half));
            for (uint32_t i = c.n / 2; i < c.n; ++i)
                progress_step();
            const Pixels p = shot();
            CHECK(black_columns(p, b) == b.a);
            CHECK(bar_filled_exactly(p, b, b.a));
            close_progress();
        }
    });
}

TEST_CASE("finish progress fills what the steps left, also for an empty piece")
{
    as_job([] {
        show_progress(11);
        Bar b = bar_of_width(297);
        for (int i = 0; i < 5; ++i)
            progress_step();
        CHECK(bar_filled_exactly(shot(), b, 135));
        finish_progress();
        CHECK(bar_filled_exactly(shot(), b, 297));
        close_progress();

        show_progress(0);
        b = bar_of_width(300);
        CHECK(bar_filled_exactly(shot(), b, 0));
        finish_progress();
        CHECK(bar_filled_exactly(shot(), b, 300));
        close_progress();
    });
}

TEST_CASE("the first paint shows only the hint; set status adds the line above it")
{
    as_job([] {
        show_progress(11);
        const Bar b = bar_of_width(297);
        const int line = text_line_height();
        Pixels p = shot();
        CHECK_FALSE(black_in_rows(p, 2, 2 + line));
        CHECK(black_in_rows(p, 2 + line, 2 + 2 * line));
        CHECK(shows_ink_on_line(p, ink_of("(Press {Esc} To Cancel)"), 2 + line, b.W));

        set_status("Writing: A:\\REPORT.DOC_1");
        p = shot();
        CHECK(shows_ink_on_line(p, ink_of("Writing: A:\\REPORT.DOC_1"), 2, b.W));
        CHECK(shows_ink_on_line(p, ink_of("(Press {Esc} To Cancel)"), 2 + line, b.W));
        close_progress();
    });
}

TEST_CASE("a repaint restores shading, frame, filled part and text")
{
    as_job([] {
        show_progress(11);
        const Bar b = bar_of_width(297);
        set_status("Reading: A:\\REPORT.DOC_1");
        for (int i = 0; i < 4; ++i)
            progress_step();
        const Pixels before = shot();
        CHECK(before.at(0, 0) == RGB(200, 200, 200));
        CHECK(before.at(0, 2) == RGB(197, 197, 197));
        CHECK(before.black(b.L - 2, b.H - 18));          // outline
        CHECK(before.black(b.L - 1, b.H - 10));          // darker inner left edge
        CHECK(before.at(b.L + b.a + 1, b.H - 10) == RGB(255, 255, 255));  // white right edge
        CHECK(before.at(b.L + 50, b.H - 5) == RGB(255, 255, 255));        // white bottom edge
        CHECK(before.at(b.L + b.a - 1, b.H - 10) == RGB(128, 128, 128));  // empty bar
        CHECK(bar_filled_exactly(before, b, 108));

        // Wipe the window behind the painter's back, then let the system repaint it.
        HDC dc = GetDC(progress_window());
        RECT all = {0, 0, b.W, b.H};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        ReleaseDC(progress_window(), dc);
        CHECK(shot().data != before.data);
        InvalidateRect(progress_window(), nullptr, TRUE);
        UpdateWindow(progress_window());
        const Pixels after = shot();
        CHECK(differing_pixels(after, before, b) == "");

        // The bar continues where it was, not from the left.
        progress_step();
        CHECK(bar_filled_exactly(shot(), b, 135));
        // The worker pumps no messages, so its drawing may still wait in the display
        // connection's buffer; a peek sends it on before the picture is taken.
        MSG pending;
        PeekMessageA(&pending, nullptr, 0, 0, PM_NOREMOVE);
        drv::screenshot("display_progress_window.png");
        close_progress();
    });
}

TEST_CASE("a long path is shortened in the middle and keeps its file name")
{
    as_job([] {
        show_progress(11);
        const Bar b = bar_of_width(297);
        std::string path = "Writing: C:";
        for (int i = 0; i < 12; ++i)
            path += "\\FOLDER" + std::to_string(i);
        path += "\\LASTPIECE.DOC_7";
        set_status(path.c_str());
        const Pixels p = shot();
        const int line = text_line_height();

        // The line's ink stays inside the status rectangle.
        int first = b.W, last = -1;
        for (int y = 2; y < 2 + line; ++y)
            for (int x = 0; x < b.W; ++x)
                if (p.black(x, y)) {
                    first = std::min(first, x);
                    last = std::max(last, x);
                }
        REQUIRE(last >= 0);
        CHECK(first >= 2);
        CHECK(last <= b.W - 3);
        CHECK(ink_of(path.c_str()).width > b.W);

        CHECK(shows_ink(p, ink_of("Writing: C:"), first, 2));
        const Ink name = ink_of("LASTPIECE.DOC_7");
        CHECK(shows_ink(p, name, last - name.width + 1, 2));
        CHECK(shows_ink_on_line(p, ink_of("..."), 2, b.W));
        close_progress();
    });
}

TEST_CASE("show progress on an open window keeps it in place and lays the bar out again")
{
    as_job([] {
        show_progress(11);
        HWND first = progress_window();
        RECT before;
        GetWindowRect(first, &before);
        set_status("Writing: A:\\REPORT.DOC_1");
        for (int i = 0; i < 6; ++i)
            progress_step();

        show_progress(300);
        CHECK(progress_window() == first);
        RECT after;
        GetWindowRect(first, &after);
        CHECK(after.left == before.left);
        CHECK(after.top == before.top);
        const Bar b = bar_of_width(150);
        const Pixels p = shot();
        CHECK(bar_filled_exactly(p, b, 0));
        CHECK(p.black(b.L - 2, b.H - 18));
        CHECK_FALSE(black_in_rows(p, 2, 2 + text_line_height()));  // status emptied
        for (int i = 0; i < 300; ++i)
            progress_step();
        CHECK(bar_filled_exactly(shot(), b, 150));
        close_progress();
    });
}

TEST_CASE("without a window every call is harmless and draws nothing on the screen")
{
    display_test::register_classes();
    HWND parked = g_program.main_window;
    g_program.main_window = nullptr;  // a child cannot be created without its parent
    HDC screen = GetDC(nullptr);
    // The test's own windows may still be repainting under Wine; compare settled pictures.
    const auto settled = [screen] {
        Pixels last = display_test::read_dc(screen, 400, 200);
        for (int i = 0; i < 20; ++i) {
            display_test::pump_for(100);
            Pixels now = display_test::read_dc(screen, 400, 200);
            if (now.data == last.data)
                break;
            last = now;
        }
        return last;
    };
    const Pixels before = settled();
    CHECK(display_test::run_on_worker([] {
        show_progress(11);
        CHECK(progress_window() == nullptr);
        set_status(std::string(3000, 'X').c_str());
        for (int i = 0; i < 20; ++i)
            progress_step();
        finish_progress();
        paint_progress();
        close_progress();
        close_progress();
    }));
    CHECK(settled().data == before.data);
    ReleaseDC(nullptr, screen);
    g_program.main_window = parked;

    // And a window can still be shown afterwards.
    as_job([] {
        show_progress(7);
        CHECK(progress_window() != nullptr);
        close_progress();
    });
}
