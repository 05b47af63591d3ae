// Pop-up window procedure and the information windows.
// PLACEHOLDER until the display work lands: the windows do not open yet.
#include "display/information_windows.h"

#include "display/progress_window.h"

namespace {
struct InformationState {
    char title[32] = "";
    const char* text = "";
};
InformationState g_information;
} // namespace

LRESULT CALLBACK popup_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    return DefWindowProcA(window, message, wparam, lparam);
}

void open_about_window() {}
void open_how_to_use_window() {}

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
    return g_information.text;
}
