// The per-piece progress window. Every call runs on the copy worker, which creates
// and owns the window so that its keyboard input lands in the worker's queue.
//   show_progress   - create (or keep) the window and lay the bar out for n steps
//   set_status      - the status line (at most 511 characters) with the Esc hint below
//   progress_step   - one block transferred
//   finish_progress - fill what the steps left of the bar
//   close_progress  - hide and destroy; harmless with no window
//   paint_progress  - repaint through the kept DC (called by the pop-up window procedure)
//   progress_window - the window, or null
#ifndef SLIVERDISK_PROGRESS_WINDOW_H
#define SLIVERDISK_PROGRESS_WINDOW_H

#include <windows.h>
#include <cstdint>

void show_progress(uint32_t steps);
void set_status(const char* text);
void progress_step();
void finish_progress();
void close_progress();
void paint_progress();
HWND progress_window();

#endif
