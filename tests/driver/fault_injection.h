// The test's side of the fault injector (tests/faults/): the control block of one program
// process, and loading the injector into a process that was started suspended.
//   FaultControlBlock - makes the named block for a process id; arms one fault, clears the
//                       counts, reads the counts and whether the armed fault fired
//   load_library_into - LoadLibraryA in another process through a remote thread; true once
//                       the call has returned, whatever it gave
//   fault_injector_path - the injector DLL of this build, as a Windows path
//   start_with_injector - starts the program with the injector loaded before its first
//                       instruction, every entry patched, nothing armed
#ifndef SLIVERDISK_FAULT_INJECTION_H
#define SLIVERDISK_FAULT_INJECTION_H

#include <windows.h>

#include <string>

#include "driver/ui_driver.h"
#include "faults/fault_control.h"

namespace drv {

class FaultControlBlock {
public:
    FaultControlBlock() = default;
    ~FaultControlBlock();
    FaultControlBlock(const FaultControlBlock&) = delete;
    FaultControlBlock& operator=(const FaultControlBlock&) = delete;

    // Made before the injector loads, which refuses to load without it.
    bool create(DWORD pid);
    void close();
    // Only while the program makes none of the counted calls (no job running).
    void arm(FaultKind kind, LONG call);
    void disarm() { arm(kNoFault, 0); }
    LONG calls(FaultFunction function) const;
    bool fired() const;
    bool injector_ready() const;     // the injector is loaded and has patched
    LONG patched() const;

private:
    HANDLE mapping_ = nullptr;
    FaultControl* control_ = nullptr;
};

bool load_library_into(HANDLE process, const std::string& dll_path, DWORD timeout_ms);
std::string fault_injector_path();
bool start_with_injector(Program& app, FaultControlBlock& faults);

const FaultKindInfo& fault_kind_info(FaultKind kind);

} // namespace drv

#endif
