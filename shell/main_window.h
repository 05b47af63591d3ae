// The main window: painting, the close request and the menu commands.
//   main_window_proc - window procedure of SLIVERDISKMAIN
//   kHowToUseText    - what the How To Use window shows
#ifndef SLIVERDISK_MAIN_WINDOW_H
#define SLIVERDISK_MAIN_WINDOW_H

#include <windows.h>

extern const char kHowToUseText[];

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

#endif
