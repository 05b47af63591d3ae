// Arithmetic of the progress bar, the status line and the pause.
//   bar_layout, start_bar, take_step, progress_geometry, copy_status, frame_due,
//   pause_elapsed, pause_slice, centred_offset (see progress_rules.h)
#include "display/progress_rules.h"

BarLayout bar_layout(uint32_t steps)
{
    BarLayout layout;
    if (steps >= kMaxBarColumns) {
        // Integer division plus one keeps n / k below 300, so the bar never reaches 300 here.
        layout.steps_per_column = steps / kMaxBarColumns + 1;
        layout.columns_per_step = 1;
        layout.width = static_cast<int32_t>(steps / layout.steps_per_column);
    } else if (steps > 0) {
        layout.steps_per_column = 1;
        layout.columns_per_step = kMaxBarColumns / steps;
        layout.width = static_cast<int32_t>(steps * layout.columns_per_step);
    } else {
        // An empty piece: no step ever fires, finish fills the full bar.
        layout.steps_per_column = 1;
        layout.columns_per_step = kMaxBarColumns;
        layout.width = static_cast<int32_t>(kMaxBarColumns);
    }
    return layout;
}

BarProgress start_bar(const BarLayout& layout)
{
    BarProgress progress;
    progress.countdown = static_cast<int32_t>(layout.steps_per_column);
    progress.filled = 0;
    return progress;
}

uint32_t take_step(const BarLayout& layout, BarProgress& progress)
{
    if (--progress.countdown != 0)
        return 0;
    progress.countdown = static_cast<int32_t>(layout.steps_per_column);
    // A piece that delivers more blocks than expected must not draw past the frame.
    int32_t room = layout.width - progress.filled;
    if (room <= 0)
        return 0;
    uint32_t columns = layout.columns_per_step;
    if (columns > static_cast<uint32_t>(room))
        columns = static_cast<uint32_t>(room);
    progress.filled += static_cast<int32_t>(columns);
    return columns;
}

ProgressGeometry progress_geometry(int client_width, int client_height, int bar_width)
{
    ProgressGeometry g;
    const int w = client_width;
    const int h = client_height;
    g.bar_left = (w - bar_width) / 2;
    g.line_top = h - 16;
    g.line_length = 10;
    g.frame = {g.bar_left - 2, h - 18, g.bar_left + bar_width + 2, h - 4};
    g.status = {2, 2, w - 2, h - 20};
    return g;
}

void copy_status(char* destination, size_t size, const char* text)
{
    if (size == 0)
        return;
    size_t i = 0;
    if (text) {
        for (; i + 1 < size && text[i] != '\0'; ++i)
            destination[i] = text[i];
    }
    destination[i] = '\0';
}

bool frame_due(uint32_t last_tick, uint32_t now_tick)
{
    // Ticks since the last frame, by unsigned subtraction like the pause: right across the wrap.
    return static_cast<uint32_t>(now_tick - last_tick) >= kFrameMilliseconds;
}

bool pause_elapsed(uint32_t start_tick, uint32_t now_tick, uint32_t milliseconds)
{
    // Unsigned subtraction gives the ticks since the start even when the count wrapped
    // past zero in between; comparing against a precomputed end tick would not, and would
    // hang for 49 days if the coarse tick count stepped over an end near the top.
    return static_cast<uint32_t>(now_tick - start_tick) >= milliseconds;
}

uint32_t pause_slice(uint32_t start_tick, uint32_t now_tick, uint32_t milliseconds)
{
    if (pause_elapsed(start_tick, now_tick, milliseconds))
        return 0;
    const uint32_t left = milliseconds - static_cast<uint32_t>(now_tick - start_tick);
    if (left <= kPauseLastStretchMilliseconds)
        return 1;
    const uint32_t before_last_stretch = left - kPauseLastStretchMilliseconds;
    return before_last_stretch < kPauseSliceMilliseconds ? before_last_stretch
                                                         : kPauseSliceMilliseconds;
}

int centred_offset(int outer, int inner)
{
    return (outer - inner) / 2;
}
