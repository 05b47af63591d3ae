// Runs a whole job of the real program from outside: its two choosers, then every box up to
// the closing note, answering each as a hook decides (a disk swap, a screenshot, OK).
// Used by the tools that time and show the jobs and by the fault sweep; the other tests
// check boxes one by one instead.
//   start_job                  - waits for the menu to take commands, gives the job command
//                                once and waits for the job's first chooser
//   run_split / run_reassemble - true when the job ended: with a closing note box, or
//                                without one (the worker went idle with no box up)
//   wait_transfer_started      - until a piece's blocks are moving and Esc is polled
//   peak_working_set           - the program's peak working set in bytes (0 if unknown)
//   set_capacity               - a custom media capacity through the input box
//   precise_ms                 - a fine clock for timing (the tick count moves in ~16 ms steps)
#ifndef SLIVERDISK_JOB_RUNNER_H
#define SLIVERDISK_JOB_RUNNER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/ui_driver.h"

namespace drv {

constexpr DWORD kJobBoxTimeout = 10 * 60 * 1000;  // a 1 GiB piece on a slow machine

struct JobRun {
    bool completed = false;         // the closing note was "Copy Complete!"
    bool closing_note = false;      // the job ended with a closing note box
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
// Called with each chooser once its path is typed, before it is confirmed.
using ChooserHook = std::function<void(HWND)>;

bool start_job(Program& app, UINT command, DWORD timeout_ms = kDefaultTimeout);
// `box_timeout` bounds the wait for each next box while the job runs.
bool run_split(Program& app, const std::string& source, const std::string& destination,
               const BoxHook& hook, JobRun& run, DWORD box_timeout = kJobBoxTimeout,
               const ChooserHook& chooser_hook = {});
bool run_reassemble(Program& app, const std::string& first_piece, const std::string& destination,
                    const BoxHook& hook, JobRun& run, DWORD box_timeout = kJobBoxTimeout,
                    const ChooserHook& chooser_hook = {});
// Waits until the progress window shows and `written_file` holds its first bytes: the
// keyboard flush at the piece's start is over, so an Esc pressed now is polled, not
// discarded. Returns the progress window, or null on timeout.
HWND wait_transfer_started(Program& app, const std::string& written_file,
                           DWORD timeout_ms = kDefaultTimeout);
uint64_t peak_working_set(const Program& app);
bool set_capacity(Program& app, uint32_t bytes);
double precise_ms();

} // namespace drv

#endif
