// The test's side of the fault injector (tests/faults/): the control block of one program
// process, and loading the injector into a process that was started suspended.
//   FaultControlBlock - makes the named block for a process id; arms up to two faults,
//                       clears the counts, reads the counts, the log and what fired; sets
//                       the sector size told, bad byte ranges, a missing free-space call
//   load_library_into - LoadLibraryA in another process through a remote thread; true once
//                       the call has returned, whatever it gave
//   fault_injector_path - the injector DLL of this build, as a Windows path
//   start_with_injector - starts the program with the injector loaded before its first
//                       instruction, every entry patched, nothing armed, the clock real
//   start_as_run_has_it - the same, then as the run's Windows has it (drv::RunSetting)
#ifndef SLIVERDISK_FAULT_INJECTION_H
#define SLIVERDISK_FAULT_INJECTION_H

#include <windows.h>

#include <cstdint>
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
    // These hold until changed, whatever is armed. The lookup of GetDiskFreeSpaceExA gives
    // nothing (ERROR_PROC_NOT_FOUND); set before the program first looks.
    void hide_free_space_ex(bool hidden);
    // The bytes per sector the program is told (512, 4,096; 0: the system's), and the
    // transfers past the file cache that broke the sector rule since arming.
    void sector_size(DWORD bytes);
    LONG unbuffered_violations() const;
    // Reads of a file whose name ends so that touch [from, to) fail with ERROR_NOT_READY.
    void bad_range(int slot, const std::string& file_end, uint64_t from, uint64_t to);
    void clear_bad_ranges();
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
// Under an older Windows the fast clock runs (those runs are about the Windows, and go side
// by side: the program's fixed pauses are paced by other tests), and under 95 the program
// finds no GetDiskFreeSpaceExA, as on the first release of Windows 95.
bool start_as_run_has_it(Program& app, FaultControlBlock& faults);

} // namespace drv

#endif
