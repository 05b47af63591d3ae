// The band painters, read back pixel by pixel: into a 32-bit memory bitmap for the exact
// bands, and on real windows for what the class background leaves.
#include <doctest.h>

#include "display/band_painters.h"
#include "display_test_support.h"

using display_test::Pixels;

namespace {

constexpr COLORREF kUntouched = RGB(255, 0, 255);

// A borderless hidden pop-up gives the painters a client rectangle of exactly this size.
HWND sized_window(int width, int height)
{
    display_test::register_classes();
    return CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, width, height, nullptr, nullptr,
                           g_program.instance, nullptr);
}

// Runs a painter for a width x height client area on a memory bitmap filled with a
// colour no band uses, and returns the result.
Pixels paint_into_memory(void (*painter)(HWND, HDC), int width, int height)
{
    HWND window = sized_window(width, height);
    RECT client;
    GetClientRect(window, &client);
    REQUIRE(client.right == width);
    REQUIRE(client.bottom == height);

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    HBRUSH marker = CreateSolidBrush(kUntouched);
    FillRect(memory, &client, marker);
    DeleteObject(marker);

    painter(window, memory);
    Pixels p = display_test::read_dc(memory, width, height);

    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    DestroyWindow(window);
    return p;
}

// First row whose colour differs from the one above, scanning column x from row `from`.
int rows_of_same_colour(const Pixels& p, int x, int from)
{
    int y = from;
    while (y + 1 < p.height && p.at(x, y + 1) == p.at(x, from))
        ++y;
    return y - from + 1;
}

bool row_is(const Pixels& p, int y, COLORREF colour)
{
    for (int x = 0; x < p.width; ++x)
        if (p.at(x, y) != colour)
            return false;
    return true;
}

} // namespace

TEST_CASE("a 300-row main client area gets 128 blue bands of 2 rows over a black strip")
{
    const Pixels p = paint_into_memory(paint_gradient, 200, 300);
    for (int band = 0; band < 128; ++band) {
        CAPTURE(band);
        const COLORREF expected = RGB(0, 0, 255 - 2 * band);
        REQUIRE(row_is(p, 2 * band, expected));
        REQUIRE(row_is(p, 2 * band + 1, expected));
    }
    CHECK(p.at(0, 255) == RGB(0, 0, 1));
    // The painter leaves the rest alone: 44 rows keep whatever was there.
    for (int y = 256; y < 300; ++y)
        REQUIRE(row_is(p, y, kUntouched));
}

TEST_CASE("the main window shows the gradient with the class's black below the bands")
{
    HWND main = display_test::create_main_window(400, 300);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const Pixels p = display_test::read_window(main);
    REQUIRE(p.height == 300);
    CHECK(p.at(10, 0) == RGB(0, 0, 255));
    CHECK(p.at(10, 1) == RGB(0, 0, 255));
    CHECK(p.at(10, 2) == RGB(0, 0, 253));
    CHECK(p.at(399, 255) == RGB(0, 0, 1));
    CHECK(rows_of_same_colour(p, 200, 256) == 44);
    CHECK(p.at(200, 256) == RGB(0, 0, 0));
    display_test::pump_messages();  // sends what was drawn on to the display
    drv::screenshot("display_main_window.png");

    // 100 rows are too few for a band of one row: everything stays black.
    SetWindowPos(main, nullptr, 0, 0, 400, 100, SWP_NOMOVE | SWP_NOZORDER);
    RECT r = {0, 0, 400, 100};
    AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
    SetWindowPos(main, nullptr, 0, 0, r.right - r.left, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER);
    RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    const Pixels small = display_test::read_window(main);
    REQUIRE(small.height == 100);
    for (int y = 0; y < 100; ++y)
        REQUIRE(row_is(small, y, RGB(0, 0, 0)));
    display_test::destroy_main_window();
}

TEST_CASE("a 100-row area gets no gradient band at all")
{
    const Pixels p = paint_into_memory(paint_gradient, 50, 100);
    for (int y = 0; y < 100; ++y)
        REQUIRE(row_is(p, y, kUntouched));
}

TEST_CASE("a 79-row progress client area gets 64 grey bands of 2 rows from 200 down by 3")
{
    const Pixels p = paint_into_memory(paint_dark_shading, 314, 79);
    // Only the first 40 bands are visible: 200 down to 83, the last one cut to one row.
    for (int band = 0; band < 40; ++band) {
        CAPTURE(band);
        const int v = 200 - 3 * band;
        REQUIRE(row_is(p, 2 * band, RGB(v, v, v)));
        if (2 * band + 1 < 79)
            REQUIRE(row_is(p, 2 * band + 1, RGB(v, v, v)));
    }
    CHECK(p.at(0, 78) == RGB(83, 83, 83));
}

TEST_CASE("the light shading starts at 255 and falls by 4 per band")
{
    // 199 rows: bands of 199 / 64 + 1 = 4 rows, so 50 bands are visible, the last cut short.
    const Pixels p = paint_into_memory(paint_light_shading, 290, 199);
    for (int band = 0; band < 50; ++band) {
        CAPTURE(band);
        const int v = 255 - 4 * band;
        for (int row = 0; row < 4 && 4 * band + row < 199; ++row)
            REQUIRE(row_is(p, 4 * band + row, RGB(v, v, v)));
    }
    // 127 rows: bands of 2 rows, and the 64th band (rows 126 and 127) is just visible.
    const Pixels light = paint_into_memory(paint_light_shading, 10, 127);
    CHECK(light.at(0, 0) == RGB(255, 255, 255));
    CHECK(light.at(0, 125) == RGB(7, 7, 7));
    CHECK(light.at(0, 126) == RGB(3, 3, 3));
    const Pixels dark = paint_into_memory(paint_dark_shading, 10, 127);
    CHECK(dark.at(0, 126) == RGB(11, 11, 11));
}

// GetGuiResources counts nothing under Wine (it gives 0 whatever the process holds), so a
// leak is shown the hard way: a process has room for 65,536 GDI objects under Wine (10,000
// by default under Windows), and the brushes of a few hundred paints would fill it if any
// were kept. Afterwards every band must still be painted and a new brush still be had.
TEST_CASE("every band's brush is deleted after use: 81,920 brushes later, painting still works")
{
    HWND window = sized_window(100, 300);
    HDC dc = GetDC(window);
    for (int i = 0; i < 320; ++i) {  // 320 x (128 + 64 + 64) brushes
        paint_gradient(window, dc);
        paint_dark_shading(window, dc);
        paint_light_shading(window, dc);
    }
    ReleaseDC(window, dc);
    DestroyWindow(window);

    HBRUSH probe = CreateSolidBrush(RGB(1, 2, 3));
    REQUIRE_MESSAGE(probe != nullptr, "no GDI object can be made any more: brushes were kept");
    DeleteObject(probe);
    const Pixels p = paint_into_memory(paint_gradient, 200, 300);
    for (int band = 0; band < 128; ++band) {
        CAPTURE(band);
        REQUIRE(row_is(p, 2 * band, RGB(0, 0, 255 - 2 * band)));
    }
}
