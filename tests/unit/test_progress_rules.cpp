// The progress bar's arithmetic, the status line copy and the pause across the tick wrap.
#include <doctest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "display/progress_rules.h"

namespace {

struct LayoutCase {
    uint32_t n;
    uint32_t k;
    uint32_t m;
    int32_t a;
};

// Steps a bar through n steps and returns the columns drawn on each.
uint32_t columns_after(uint32_t n, uint32_t steps_taken)
{
    const BarLayout layout = bar_layout(n);
    BarProgress progress = start_bar(layout);
    uint32_t total = 0;
    for (uint32_t i = 0; i < steps_taken; ++i)
        total += take_step(layout, progress);
    return total;
}

} // namespace

TEST_CASE("bar layout for typical and boundary step counts")
{
    // 11 steps is a 1,400,000-byte piece, 748 a 98,000,000-byte one, 7630 a 10^9-byte one.
    const LayoutCase cases[] = {
        {0, 1, 300, 300},   {1, 1, 300, 300}, {7, 1, 42, 294},  {11, 1, 27, 297},
        {299, 1, 1, 299},   {300, 2, 1, 150}, {599, 2, 1, 299}, {600, 3, 1, 200},
        {748, 3, 1, 249},   {7630, 26, 1, 293},
    };
    for (const LayoutCase& c : cases) {
        CAPTURE(c.n);
        const BarLayout layout = bar_layout(c.n);
        CHECK(layout.steps_per_column == c.k);
        CHECK(layout.columns_per_step == c.m);
        CHECK(layout.width == c.a);
    }
}

TEST_CASE("the bar never exceeds 300 columns and n steps fill exactly the bar")
{
    for (uint32_t n = 1; n <= 20000; ++n) {
        const BarLayout layout = bar_layout(n);
        if (layout.width < 1 || layout.width > 300 || columns_after(n, n) != uint32_t(layout.width)) {
            CAPTURE(n);
            CHECK(layout.width >= 1);
            CHECK(layout.width <= 300);
            CHECK(columns_after(n, n) == uint32_t(layout.width));
            break;
        }
    }
    CHECK(bar_layout(4000000000u).width <= 300);
}

TEST_CASE("with 748 steps every third step adds a column and the last step adds none")
{
    const BarLayout layout = bar_layout(748);
    BarProgress progress = start_bar(layout);
    std::string fired;
    for (uint32_t step = 1; step <= 748; ++step) {
        const uint32_t columns = take_step(layout, progress);
        if (columns != (step % 3 == 0 ? 1u : 0u)) {
            CAPTURE(step);
            CHECK(columns == (step % 3 == 0 ? 1u : 0u));
            return;
        }
    }
    CHECK(progress.filled == 249);
}

TEST_CASE("more steps than expected never draw past the bar")
{
    CHECK(columns_after(11, 50) == 297);
    CHECK(columns_after(748, 5000) == 249);
    CHECK(columns_after(0, 10) == 300);  // an empty piece that unexpectedly delivers blocks
}

TEST_CASE("the bar position is halved toward zero, also when it is wider than the window")
{
    CHECK(progress_geometry(315, 79, 300).bar_left == 7);
    CHECK(progress_geometry(297, 79, 300).bar_left == -1);
    CHECK(centred_offset(1024, 300) == 362);
    CHECK(centred_offset(768, 350) == 209);
    CHECK(centred_offset(250, 300) == -25);
    CHECK(centred_offset(249, 300) == -25);  // -51 / 2 truncates toward zero
}

TEST_CASE("the status copy keeps at most 511 characters and never writes past its buffer")
{
    struct Guarded {
        char text[kStatusTextSize];
        char guard[16];
    } buffer;
    std::memset(&buffer, 'G', sizeof buffer);

    const std::string path = "Writing: C:\\" + std::string(2000, 'D') + "\\PIECE.DOC_1";
    copy_status(buffer.text, sizeof buffer.text, path.c_str());
    CHECK(std::strlen(buffer.text) == 511);
    CHECK(std::string(buffer.text) == path.substr(0, 511));
    CHECK(std::string(buffer.guard, sizeof buffer.guard) == std::string(16, 'G'));

    copy_status(buffer.text, sizeof buffer.text, "Reading: A:\\X_1");
    CHECK(std::string(buffer.text) == "Reading: A:\\X_1");
    copy_status(buffer.text, sizeof buffer.text, nullptr);
    CHECK(std::string(buffer.text).empty());

    const std::string exact(511, 'E');
    copy_status(buffer.text, sizeof buffer.text, exact.c_str());
    CHECK(std::string(buffer.text) == exact);
}

TEST_CASE("a pause is over when its length has elapsed, also across the tick wrap")
{
    CHECK(pause_elapsed(1000, 1000, 0));
    CHECK_FALSE(pause_elapsed(1000, 1299, 300));
    CHECK(pause_elapsed(1000, 1300, 300));

    // Started 100 ms before the wrap, ends 300 ms after the start: at tick 200.
    const uint32_t start = 0xFFFFFFFFu - 99;
    CHECK_FALSE(pause_elapsed(start, 0xFFFFFFFFu, 300));
    CHECK_FALSE(pause_elapsed(start, 0, 300));
    CHECK_FALSE(pause_elapsed(start, 199, 300));
    CHECK(pause_elapsed(start, 200, 300));
    CHECK(pause_elapsed(start, 5000, 300));

    // End exactly at the top of the range; a coarse tick that jumps past it still ends it.
    const uint32_t near_top = 0xFFFFFFFFu - 400;
    CHECK_FALSE(pause_elapsed(near_top, 0xFFFFFFFEu, 400));
    CHECK(pause_elapsed(near_top, 0xFFFFFFFFu, 400));
    CHECK(pause_elapsed(near_top, 15, 400));

    // A pause that ends just before the wrap must not wait for it.
    CHECK(pause_elapsed(0xFFFFFF00u, 0xFFFFFFF0u, 0xF0));
}

TEST_CASE("a pause lasts at least its length by the tick count and ends within 1 ms of the step that ends it, also across the wrap")
{
    // The pause as the worker runs it, every slice slept in full, against a tick count that
    // starts at `first` and moves in steps of `step` ms, real time `phase` ms after a step.
    char first_fault[160] = "";
    for (uint32_t first : {1000u, 0xFFFFFFFFu - 4, 0xFFFFFFFFu - 99, 0xFFFFFFFFu - 400})
        for (uint32_t step : {1u, 10u, 15u, 16u})
            for (uint32_t phase = 0; phase < step; ++phase)
                for (uint32_t ms : {0u, 1u, 4u, 20u, 21u, 300u, 400u}) {
                    const auto tick = [&](uint64_t t) { return first + uint32_t(t / step * step); };
                    const uint32_t start = tick(phase);
                    uint64_t t = phase, ended_by = phase;
                    uint32_t wakeups = 0;
                    for (uint32_t slice = pause_slice(start, start, ms); slice != 0 && wakeups < 100000;
                         slice = pause_slice(start, tick(t), ms)) {
                        t += slice;
                        ++wakeups;
                    }
                    while (tick(ended_by) - start < ms)
                        ++ended_by;
                    // Asleep for most of it: not a 1 ms poll from the start.
                    if (!first_fault[0] &&
                        (tick(t) - start < ms || t - ended_by > 1 || wakeups > ms / 5 + 40))
                        std::snprintf(first_fault, sizeof first_fault,
                                      "a %u ms pause from tick %u (steps of %u ms, %u in): %u ms "
                                      "by the ticks, %u ms late, %u wake-ups", ms, first, step,
                                      phase, tick(t) - start, unsigned(t - ended_by), wakeups);
                }
    CHECK_MESSAGE(first_fault[0] == '\0', first_fault);
}

TEST_CASE("a display frame is due 15 ms after the last, also across the tick wrap")
{
    CHECK_FALSE(frame_due(1000, 1000));
    CHECK_FALSE(frame_due(1000, 1014));
    CHECK(frame_due(1000, 1015));
    CHECK(frame_due(1000, 1031));  // the tick count moves in steps of about 16 ms

    const uint32_t last = 0xFFFFFFFFu - 9;
    CHECK_FALSE(frame_due(last, 0xFFFFFFFFu));
    CHECK_FALSE(frame_due(last, 4));
    CHECK(frame_due(last, 5));
    // Last + 15 wraps to a small number here; 1 ms later is still not a frame.
    CHECK_FALSE(frame_due(0xFFFFFFF5u, 0xFFFFFFF6u));
    CHECK(frame_due(0xFFFFFFF5u, 4));
}
