// Progress window. PLACEHOLDER until the display work lands.
#include "display/progress_window.h"

void show_progress(uint32_t) {}
void set_status(const char*) {}
void progress_step() {}
void finish_progress() {}
void close_progress() {}
void paint_progress() {}
HWND progress_window() { return nullptr; }
