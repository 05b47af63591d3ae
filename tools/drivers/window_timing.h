// What the bench reads off a running job besides its boxes.
//   WindowTiming      - times the progress windows, polled while the job runs: a piece's
//                       window shows before its keyboard flush and closes after its pause,
//                       the same marks in both jobs
//   peak_working_set  - the program's peak working set in bytes (0 if unknown)
//   precise_ms        - a fine clock (the tick count moves in steps of about 16 ms)
#ifndef SLIVERDISK_WINDOW_TIMING_H
#define SLIVERDISK_WINDOW_TIMING_H

#include <cstdint>

#include "driver/ui_driver.h"

namespace tools {

double precise_ms();
uint64_t peak_working_set(const drv::Program& app);

struct WindowTiming {
    unsigned windows = 0;        // progress windows seen: one per piece, one for a check
    double first_window_at = 0;  // precise_ms() when the first progress window showed
    double window_ms = 0;        // time progress windows were shown, all pieces
    HWND shown = nullptr;
    double shown_at = 0;

    void poll(const drv::Program& app);
    // First progress window to now.
    double since_first_window() const;
};

} // namespace tools

#endif
