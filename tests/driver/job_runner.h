// Runs a whole job of the real program from outside: its two choosers, then every box up to
// the closing note, answering each as a hook decides (a disk swap, a screenshot, OK).
// Used by the tools that time and show the jobs; the tests check boxes one by one instead.
//   run_split / run_reassemble - true when the job reached a closing note box
//   wait_transfer_started      - until a piece's blocks are moving and Esc is polled
//   peak_working_set           - the program's peak working set in bytes (0 if unknown)
//   precise_ms                 - a fine clock for timing (the tick count moves in ~16 ms steps)
#ifndef SLIVERDISK_JOB_RUNNER_H
#define SLIVERDISK_JOB_RUNNER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/ui_driver.h"

namespace drv {

struct JobRun {
    bool completed = false;         // the closing note was "Copy Complete!"
    std::vector<Box> boxes;         // every box answered, in order
    // Timed by the progress windows, the same marks in both jobs: a piece's window shows
    // before its keyboard flush and closes after its pause.
    unsigned windows = 0;           // progress windows seen, one per piece
    double first_window_at = 0;     // precise_ms() when the first progress window showed
    double job_ms = 0;              // first progress window shown to the closing note
    double window_ms = 0;           // time progress windows were shown, all pieces
    uint64_t peak_working_set = 0;  // read when the closing note appeared
};

// Called for each box before it is answered; returns the button to press.
using BoxHook = std::function<int(const Box&)>;
int answer_ok(const Box&);

bool run_split(Program& app, const std::string& source, const std::string& destination,
               const BoxHook& hook, JobRun& run);
bool run_reassemble(Program& app, const std::string& first_piece, const std::string& destination,
                    const BoxHook& hook, JobRun& run);
// Waits until the progress window shows and `written_file` holds its first bytes: the
// keyboard flush at the piece's start is over, so an Esc pressed now is polled, not
// discarded. Returns the progress window, or null on timeout.
HWND wait_transfer_started(Program& app, const std::string& written_file,
                           DWORD timeout_ms = kDefaultTimeout);
uint64_t peak_working_set(const Program& app);
// Sets a custom media capacity through the input box.
bool set_capacity(Program& app, uint32_t bytes);
double precise_ms();

} // namespace drv

#endif
