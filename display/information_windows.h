// The pop-up window class's procedure and the two click-to-close information windows.
//   popup_window_proc        - window procedure of SLIVERDISKMSG; paints by window handle
//   open_about_window        - modal in its own way: returns after a left-button press in it
//   open_how_to_use_window   - the same, showing the information text and title
//   set_information          - title (up to 31 characters) and text of the How To Use window
//   set_information_text     - the text alone (the input box points it at its prompt)
//   information_text         - the current information text, never null
#ifndef SLIVERDISK_INFORMATION_WINDOWS_H
#define SLIVERDISK_INFORMATION_WINDOWS_H

#include <windows.h>

LRESULT CALLBACK popup_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
void open_about_window();
void open_how_to_use_window();
void set_information(const char* title, const char* text);
void set_information_text(const char* text);
const char* information_text();

#endif
