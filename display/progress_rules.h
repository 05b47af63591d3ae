// Arithmetic of the progress bar, the status line, the block loop's pacing and the pause;
// no window code, so every rule is tested directly.
//   bar_layout         - steps per column k, columns per step m and bar width a for n steps
//   take_step          - columns one step draws; never lets the bar pass its width
//   progress_geometry  - bar position, frame and status rectangles in a W x H client area
//   copy_status        - status line into its fixed buffer, cut to fit
//   frame_due          - whether a display frame has passed since a tick count, across the wrap
//   pause_elapsed      - whether a pause begun at a tick count is over, across the wrap
//   pause_slice        - how long a pause sleeps next: at most 10 ms, 1 ms near the end,
//                        0 once it is over
//   centred_offset     - (outer - inner) / 2, truncated toward zero
#ifndef SLIVERDISK_PROGRESS_RULES_H
#define SLIVERDISK_PROGRESS_RULES_H

#include <cstddef>
#include <cstdint>

// Longest bar in columns; more steps share a column instead of widening the bar.
constexpr uint32_t kMaxBarColumns = 300;
constexpr size_t kStatusTextSize = 512;

struct BarLayout {
    uint32_t steps_per_column = 1;  // k
    uint32_t columns_per_step = 0;  // m
    int32_t width = 0;              // a
};

BarLayout bar_layout(uint32_t steps);

// The bar's moving part: the countdown to the next firing and the columns filled so far.
struct BarProgress {
    int32_t countdown = 1;
    int32_t filled = 0;
};

BarProgress start_bar(const BarLayout& layout);
// Returns how many columns this step draws (0 between firings).
uint32_t take_step(const BarLayout& layout, BarProgress& progress);

struct PlainRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
};

struct ProgressGeometry {
    int bar_left = 0;     // L
    int line_top = 0;     // first row of a fill column
    int line_length = 10; // rows of a fill column
    PlainRect frame;
    PlainRect status;
};

ProgressGeometry progress_geometry(int client_width, int client_height, int bar_width);

// Copies at most size - 1 characters and always terminates; a null text gives "".
void copy_status(char* destination, size_t size, const char* text);

// About one refresh of the display: repainting or polling the keyboard more often than
// this shows nothing new, and each costs a round trip to the window server.
constexpr uint32_t kFrameMilliseconds = 15;
bool frame_due(uint32_t last_tick, uint32_t now_tick);

// A pause sleeps in slices no longer than this, reading the tick count between them. The
// tick count moves in steps of about 16 ms: over the pause's last stretch the slices are
// 1 ms, so the step that ends it is seen at once, and no slice sleeps into that stretch.
constexpr uint32_t kPauseSliceMilliseconds = 10;
constexpr uint32_t kPauseLastStretchMilliseconds = 20;
bool pause_elapsed(uint32_t start_tick, uint32_t now_tick, uint32_t milliseconds);
uint32_t pause_slice(uint32_t start_tick, uint32_t now_tick, uint32_t milliseconds);

int centred_offset(int outer, int inner);

#endif
