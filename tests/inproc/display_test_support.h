// Shared by the display's in-process tests: the program's two window classes, a main
// window of a chosen client size, a worker thread run while the main thread keeps
// serving its messages (as the copy worker and the message loop do), pixel capture of
// a window's client area, saved as a picture by the host.
#ifndef SLIVERDISK_DISPLAY_TEST_SUPPORT_H
#define SLIVERDISK_DISPLAY_TEST_SUPPORT_H

#include <windows.h>

#include <doctest.h>

#include <algorithm>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "display/information_windows.h"
#include "driver/ui_driver.h"
#include "shell/main_window.h"
#include "shell/program_state.h"

namespace display_test {

inline void register_classes()
{
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    g_program.instance = GetModuleHandleA(nullptr);
    g_program.screen_width = GetSystemMetrics(SM_CXSCREEN);
    g_program.screen_height = GetSystemMetrics(SM_CYSCREEN);

    WNDCLASSA main_class = {};
    main_class.style = CS_BYTEALIGNCLIENT | CS_HREDRAW | CS_VREDRAW;
    main_class.lpfnWndProc = main_window_proc;
    main_class.hInstance = g_program.instance;
    main_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    main_class.hbrBackground = CreateSolidBrush(RGB(0, 0, 0));
    main_class.lpszClassName = kMainClassName;
    RegisterClassA(&main_class);

    WNDCLASSA popup_class = {};
    popup_class.style = CS_BYTEALIGNCLIENT | CS_SAVEBITS | CS_OWNDC;
    popup_class.lpfnWndProc = popup_window_proc;
    popup_class.hInstance = g_program.instance;
    popup_class.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    popup_class.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    popup_class.lpszClassName = kPopupClassName;
    RegisterClassA(&popup_class);
}

inline void pump_messages()
{
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

inline void pump_for(DWORD milliseconds)
{
    const DWORD start = GetTickCount();
    do {
        pump_messages();
        Sleep(10);
    } while (GetTickCount() - start < milliseconds);
}

// A visible main window whose client area is exactly width x height, at the screen's
// top left; it becomes the program's main window.
inline HWND create_main_window(int client_width, int client_height)
{
    register_classes();
    RECT r = {0, 0, client_width, client_height};
    AdjustWindowRectEx(&r, WS_OVERLAPPEDWINDOW, FALSE, 0);
    HWND window = CreateWindowExA(0, kMainClassName, "Sliverdisk Utility - test",
                                  WS_OVERLAPPEDWINDOW, 0, 0, r.right - r.left, r.bottom - r.top,
                                  nullptr, nullptr, g_program.instance, nullptr);
    g_program.main_window = window;
    ShowWindow(window, SW_SHOWNORMAL);
    UpdateWindow(window);
    SetForegroundWindow(window);
    // Until whatever showing it queued is served and it has painted (5 s at most).
    for (int i = 0; i < 500; ++i) {
        pump_messages();
        if (!GetUpdateRect(window, nullptr, FALSE))
            break;
        Sleep(10);
    }
    return window;
}

inline void destroy_main_window()
{
    if (g_program.main_window)
        DestroyWindow(g_program.main_window);
    g_program.main_window = nullptr;
    pump_messages();
}

// Runs work on the test's one worker thread while the calling thread serves its
// messages, since the worker's calls send messages to the main window (parent
// notifications, repaints). Like the program's copy worker, the thread never ends: a
// thread that exits after doctest checks on it takes the C runtime's heap lock with it
// under this toolchain. A failed REQUIRE on the worker ends the work, not the test program:
// it is caught there and the case fails; so does work that does not finish in time, after
// which the worker is not used again.
struct Worker {
    HANDLE start = nullptr;
    HANDLE done = nullptr;
    const std::function<void()>* work = nullptr;
    DWORD thread_id = 0;
    bool stopped_early = false;  // the last work ended by an exception
    bool lost = false;           // work overran its time and may still run
};

inline Worker& worker()
{
    static Worker w;
    return w;
}

inline DWORD WINAPI worker_entry(void*)
{
    Worker& w = worker();
    for (;;) {
        WaitForSingleObject(w.start, INFINITE);  // idle between works, like the copy worker
        w.stopped_early = false;
        try {
            (*w.work)();
        } catch (...) {
            w.stopped_early = true;
        }
        SetEvent(w.done);
    }
}

inline bool run_on_worker(const std::function<void()>& work, DWORD timeout_ms = 60000)
{
    Worker& w = worker();
    if (w.lost) {
        FAIL_CHECK("the worker thread is still busy with work that overran its time");
        return false;
    }
    if (!w.start) {
        w.start = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        w.done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        HANDLE thread = CreateThread(nullptr, 0, worker_entry, nullptr, 0, &w.thread_id);
        REQUIRE_MESSAGE(thread, "no worker thread");
        CloseHandle(thread);
    }
    w.work = &work;
    SetEvent(w.start);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < timeout_ms) {
        if (MsgWaitForMultipleObjects(1, &w.done, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) {
            if (w.stopped_early)
                FAIL_CHECK("the work on the worker thread stopped at a failed check or an exception");
            return !w.stopped_early;
        }
        pump_messages();
    }
    w.lost = true;
    FAIL_CHECK("the work on the worker thread did not finish within " << timeout_ms << " ms");
    return false;
}

// The client area of a window as the screen shows it, one COLORREF per pixel.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> data;
    COLORREF at(int x, int y) const { return data[size_t(y) * size_t(width) + size_t(x)]; }
    bool black(int x, int y) const { return at(x, y) == RGB(0, 0, 0); }
};

// Copies width x height pixels of a DC into a 32-bit DIB and reads them back.
inline Pixels read_dc(HDC source, int width, int height)
{
    Pixels p;
    p.width = width;
    p.height = height;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC memory = CreateCompatibleDC(source);
    HBITMAP dib = CreateDIBSection(memory, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, dib);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* raw = static_cast<const uint32_t*>(bits);
    p.data.resize(size_t(width) * size_t(height));
    for (size_t i = 0; i < p.data.size(); ++i) {
        const uint32_t v = raw[i];  // 0x00RRGGBB
        p.data[i] = RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
    }
    SelectObject(memory, old);
    DeleteObject(dib);
    DeleteDC(memory);
    return p;
}

// The black pixels of a picture, cut to the columns that hold any: how a text drawn in
// black looks, independent of where it was drawn.
struct Ink {
    int width = 0, height = 0;
    std::vector<bool> on;
    bool at(int x, int y) const { return on[size_t(y) * size_t(width) + size_t(x)]; }
};

inline Ink ink_columns(const Pixels& p)
{
    int first = p.width, last = -1;
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (p.black(x, y)) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    Ink ink;
    ink.width = last - first + 1;
    ink.height = p.height;
    for (int y = 0; y < p.height; ++y)
        for (int x = first; x <= last; ++x)
            ink.on.push_back(p.black(x, y));
    return ink;
}

inline Pixels read_window(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    HDC dc = GetDC(window);
    Pixels p = read_dc(dc, client.right, client.bottom);
    ReleaseDC(window, dc);
    return p;
}

// One window's pixels as read from its own surface into <build folder>/<name>.
inline bool save_picture(const Pixels& p, const std::string& png_name)
{
    const std::string ppm = drv::build_dir() + "/" + png_name + ".ppm";
    std::string bytes = "P6\n" + std::to_string(p.width) + " " + std::to_string(p.height) + "\n255\n";
    for (COLORREF c : p.data) {
        bytes += char(GetRValue(c));
        bytes += char(GetGValue(c));
        bytes += char(GetBValue(c));
    }
    return drv::write_file(drv::windows_path(ppm), bytes) &&
           drv::host_command("convert '" + ppm + "' '" + drv::build_dir() + "/" + png_name +
                             "' && rm -f '" + ppm + "'");
}

} // namespace display_test

#endif
