// The test's side of the fault injector (tests/faults/): the control block of one program
// process, and loading the injector into a process that was started suspended.
//   FaultControlBlock - makes the named block for a process id; arms up to two faults,
//                       clears the counts, reads the counts, the log and what fired
//   load_library_into - LoadLibraryA in another process through a remote thread; true once
//                       the call has returned, whatever it gave
//   fault_injector_path - the injector DLL of this build, as a Windows path
//   start_with_injector - starts the program with the injector loaded before its first
//                       instruction, every entry patched, nothing armed, the clock real
#ifndef SLIVERDISK_FAULT_INJECTION_H
#define SLIVERDISK_FAULT_INJECTION_H

#include <windows.h>

#include <string>
#include <vector>

#include "driver/ui_driver.h"
#include "faults/fault_control.h"

namespace drv {

// Calls `first` to `last` of the kind's function fail (1-based).
struct Fault {
    FaultKind kind;
    LONG first;
    LONG last;
};

class FaultControlBlock {
public:
    FaultControlBlock() = default;
    ~FaultControlBlock();
    FaultControlBlock(const FaultControlBlock&) = delete;
    FaultControlBlock& operator=(const FaultControlBlock&) = delete;

    // Made before the injector loads, which refuses to load without it.
    bool create(DWORD pid);
    void close();
    // Only while the program makes none of the counted calls (no job running); clears the
    // counts and the log.
    void arm(const std::vector<Fault>& faults);
    void arm(FaultKind kind, LONG call) { arm({{kind, call, call}}); }
    void disarm() { arm({}); }
    void fast_clock(bool on);
    LONG calls(FaultFunction function) const;
    bool fired() const;              // every armed fault has failed a call
    LONG failed(int armed) const;    // calls the armed fault made fail
    LONG logged() const;             // calls made since arming
    std::vector<LoggedCall> log() const;
    // Closes in the program the handles its refused closes left open; only while it is idle.
    bool close_refused(HANDLE process);
    bool injector_ready() const;     // the injector is loaded and has patched
    LONG patched() const;

private:
    HANDLE mapping_ = nullptr;
    FaultControl* control_ = nullptr;
};

bool load_library_into(HANDLE process, const std::string& dll_path, DWORD timeout_ms);
std::string fault_injector_path();
bool start_with_injector(Program& app, FaultControlBlock& faults);

} // namespace drv

#endif
