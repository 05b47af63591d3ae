// Runs a whole job of the real program from outside: its two choosers, then every box up to
// the closing note, answering each as a hook decides (a disk swap, a screenshot, OK).
// Used by the fault sweep and by the tools that time and show the jobs; the other tests
// check boxes one by one instead.
//   start_job                  - waits for the menu to take commands, gives the job command
//                                once and waits for the job's first chooser
//   run_split / run_reassemble - true when the job ended: with a closing note box, or
//                                without one (the worker went idle with no box up)
//   wait_transfer_started      - until a piece's blocks are moving and Esc is polled
//   set_capacity               - a custom media capacity through the input box
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
    // Called at every poll while the job waits for its next box (a tool times the progress
    // windows with it); may be empty.
    std::function<void()> on_poll;
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
bool set_capacity(Program& app, uint32_t bytes);

} // namespace drv

#endif
