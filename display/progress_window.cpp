// The per-piece progress window, created, drawn and destroyed by the copy worker.
//   show_progress, set_status, progress_step, finish_progress, close_progress,
//   paint_progress, progress_window (see progress_window.h)
// The worker runs no message loop: the window is painted only through UpdateWindow (at
// show, and by the job once a display frame while blocks move), always through the
// class's own DC kept for the whole showing, so the pen, brush and current position
// survive between calls.
#include "display/progress_window.h"

#include "display/band_painters.h"
#include "display/progress_rules.h"
#include "shell/program_state.h"

namespace {

constexpr char kProgressTitle[] = "Standby...";
constexpr char kCancelHint[] = "\n(Press {Esc} To Cancel)";
constexpr int kProgressWidth = 320;
constexpr int kProgressHeight = 100;
constexpr COLORREF kBarColour = RGB(128, 128, 128);
constexpr COLORREF kFinishColour = RGB(0, 0, 0);
constexpr UINT kStatusFormat = DT_PATH_ELLIPSIS | DT_CENTER;

struct ProgressState {
    HWND window = nullptr;
    HDC dc = nullptr;  // kept from show to close; null whenever window is null
    HBRUSH bar_brush = nullptr;
    HBRUSH finish_brush = nullptr;
    HGDIOBJ original_brush = nullptr;
    char status[kStatusTextSize] = "";
    RECT status_rect = {};
    RECT frame_rect = {};
    int client_height = 0;
    int bar_left = 0;     // L
    int x = 0;            // next column to fill
    int line_top = 0;
    int line_length = 10;
    BarLayout layout;
    BarProgress progress;
};
ProgressState g_progress;

RECT to_rect(const PlainRect& r)
{
    return RECT{r.left, r.top, r.right, r.bottom};
}

HWND create_progress_window()
{
    RECT main_client = {};
    GetClientRect(g_program.main_window, &main_client);
    const int left = centred_offset(main_client.right - main_client.left, kProgressWidth);
    const int top = centred_offset(main_client.bottom - main_client.top, kProgressHeight);
    // Created here, on the worker, so that its keyboard input queues to the worker.
    // No system menu: the caption carries no buttons.
    return CreateWindowExA(WS_EX_TOPMOST, kPopupClassName, kProgressTitle, WS_CHILD | WS_CAPTION,
                           left, top, kProgressWidth, kProgressHeight, g_program.main_window,
                           nullptr, g_program.instance, nullptr);
}

// The DC and brushes are taken once per window; showing again reuses them rather than
// leaking a second pair.
void take_drawing_objects()
{
    if (!g_progress.dc)
        g_progress.dc = GetDC(g_progress.window);
    if (!g_progress.finish_brush)
        g_progress.finish_brush = CreateSolidBrush(kFinishColour);
    if (!g_progress.bar_brush)
        g_progress.bar_brush = CreateSolidBrush(kBarColour);
    SetBkMode(g_progress.dc, TRANSPARENT);
    HGDIOBJ previous = SelectObject(g_progress.dc, g_progress.bar_brush);
    if (!g_progress.original_brush && previous != g_progress.bar_brush)
        g_progress.original_brush = previous;
}

void lay_out_bar(uint32_t steps)
{
    g_progress.layout = bar_layout(steps);
    g_progress.progress = start_bar(g_progress.layout);
    RECT client = {};
    GetClientRect(g_progress.window, &client);
    const ProgressGeometry g =
        progress_geometry(client.right - client.left, client.bottom - client.top,
                          g_progress.layout.width);
    g_progress.client_height = client.bottom - client.top;
    g_progress.bar_left = g.bar_left;
    g_progress.x = g.bar_left;
    g_progress.line_top = g.line_top;
    g_progress.line_length = g.line_length;
    g_progress.frame_rect = to_rect(g.frame);
    g_progress.status_rect = to_rect(g.status);
}

void draw_status_text()
{
    HDC dc = g_progress.dc;
    DrawTextA(dc, g_progress.status, -1, &g_progress.status_rect, kStatusFormat);
    DrawTextA(dc, kCancelHint, -1, &g_progress.status_rect, kStatusFormat);
}

// Black outline, darker inner left and top edges, white bottom and right edges: a sunken bar.
void draw_bar_frame()
{
    HDC dc = g_progress.dc;
    const int l = g_progress.bar_left;
    const int r = l + g_progress.layout.width + 1;
    const int h = g_progress.client_height;
    const RECT& f = g_progress.frame_rect;
    Rectangle(dc, f.left, f.top, f.right, f.bottom);
    MoveToEx(dc, l - 1, h - 5, nullptr);
    LineTo(dc, l - 1, h - 17);
    LineTo(dc, r, h - 17);
    SelectObject(dc, GetStockObject(WHITE_PEN));
    MoveToEx(dc, l - 1, h - 5, nullptr);
    LineTo(dc, r, h - 5);
    LineTo(dc, r, h - 17);
    // Steps draw their columns with this pen, so it stays selected.
    SelectObject(dc, GetStockObject(BLACK_PEN));
}

void draw_filled_part()
{
    if (g_progress.x == g_progress.bar_left)
        return;
    const int h = g_progress.client_height;
    RECT done = {g_progress.bar_left, h - 16, g_progress.x, h - 6};
    FillRect(g_progress.dc, &done, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
}

void release_drawing_objects()
{
    if (g_progress.original_brush)
        SelectObject(g_progress.dc, g_progress.original_brush);
    ReleaseDC(g_progress.window, g_progress.dc);
    DeleteObject(g_progress.finish_brush);
    DeleteObject(g_progress.bar_brush);
    g_progress.dc = nullptr;
    g_progress.finish_brush = nullptr;
    g_progress.bar_brush = nullptr;
    g_progress.original_brush = nullptr;
}

} // namespace

void show_progress(uint32_t steps)
{
    g_progress.status[0] = '\0';
    const bool kept = g_progress.window != nullptr;
    if (!kept)
        g_progress.window = create_progress_window();
    // Without a window every operation does nothing; above all no GetDC(null), the screen.
    if (!g_progress.window)
        return;
    take_drawing_objects();
    lay_out_bar(steps);
    ShowWindow(g_progress.window, SW_SHOW);
    // A kept window still shows the old bar and status line: have it drawn afresh.
    if (kept)
        InvalidateRect(g_progress.window, nullptr, FALSE);
    UpdateWindow(g_progress.window);
    MoveToEx(g_progress.dc, g_progress.x, g_progress.line_top, nullptr);
}

void set_status(const char* text)
{
    copy_status(g_progress.status, sizeof g_progress.status, text);
    if (g_progress.window)
        draw_status_text();
}

void progress_step()
{
    if (!g_progress.window)
        return;
    const uint32_t columns = take_step(g_progress.layout, g_progress.progress);
    for (uint32_t i = 0; i < columns; ++i) {
        LineTo(g_progress.dc, g_progress.x, g_progress.line_top + g_progress.line_length);
        ++g_progress.x;
        MoveToEx(g_progress.dc, g_progress.x, g_progress.line_top, nullptr);
    }
}

void finish_progress()
{
    if (!g_progress.window)
        return;
    const int h = g_progress.client_height;
    RECT rest = {g_progress.x, h - 16, g_progress.bar_left + g_progress.layout.width, h - 6};
    FillRect(g_progress.dc, &rest, g_progress.finish_brush);
}

void close_progress()
{
    if (!g_progress.window)
        return;
    RECT covered;
    GetWindowRect(g_progress.window, &covered);
    MapWindowPoints(nullptr, g_program.main_window, reinterpret_cast<POINT*>(&covered), 2);
    ShowWindow(g_progress.window, SW_HIDE);
    // Restore what the window covered before the job's next message box appears. Under
    // Wine, hiding this child of another thread's window leaves the area black on the
    // display although the main window's own pixels are right; asking for the area to be
    // painted anew puts it on the display too.
    RedrawWindow(g_program.main_window, &covered, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    release_drawing_objects();
    DestroyWindow(g_progress.window);
    g_progress.window = nullptr;
}

void paint_progress()
{
    if (!g_progress.window)
        return;
    paint_dark_shading(g_progress.window, g_progress.dc);
    draw_bar_frame();
    draw_filled_part();
    MoveToEx(g_progress.dc, g_progress.x, g_progress.line_top, nullptr);
    draw_status_text();
}

HWND progress_window()
{
    return g_progress.window;
}
