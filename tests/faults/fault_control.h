// The control block shared by a test and the fault injector loaded into the program: which
// call to make fail and how, and how many calls of each function the program has made.
// One named shared-memory block per program process, made by the test before the
// injector is loaded.
//   fault_control_name - the block's name for a process id
//   kFaultKinds        - every fault kind the fault sweep tries, with its function and its
//                        name in reports
//   fault_function     - the function a kind makes fail, for every kind
#ifndef SLIVERDISK_FAULT_CONTROL_H
#define SLIVERDISK_FAULT_CONTROL_H

#include <windows.h>

// The file functions the injector takes over in the program's import table.
enum FaultFunction : LONG {
    kCreateFileA,
    kReadFile,
    kWriteFile,
    kSetFilePointer,
    kGetDiskFreeSpaceA,
    kCloseHandle,
    kFaultFunctionCount
};

enum FaultKind : LONG {
    kNoFault,
    kAccessDenied,    // CreateFileA
    kNotReady,        // CreateFileA
    kReadFails,       // ReadFile
    kShortRead,       // ReadFile: half the bytes asked for, the rest stays unread
    kDiskFull,        // WriteFile: nothing written
    kShortWrite,      // WriteFile: half the bytes written, reported as such
    kSeekFails,       // SetFilePointer: the position does not move
    kFreeSpaceFails,  // GetDiskFreeSpaceA
    kCloseFails,      // CloseHandle: the handle stays open, as with any refused close
    kChangedRead,     // ReadFile: succeeds, but one byte comes back changed, as from a
                      // medium that returns other bytes than it took; not in the sweep
    kFaultKindCount
};

struct FaultKindInfo {
    FaultKind kind;
    FaultFunction function;
    const char* function_name;
    const char* name;
};

constexpr FaultKindInfo kFaultKinds[] = {
    {kAccessDenied, kCreateFileA, "CreateFileA", "access denied"},
    {kNotReady, kCreateFileA, "CreateFileA", "not ready"},
    {kReadFails, kReadFile, "ReadFile", "fails"},
    {kShortRead, kReadFile, "ReadFile", "fewer bytes"},
    {kDiskFull, kWriteFile, "WriteFile", "disk full"},
    {kShortWrite, kWriteFile, "WriteFile", "fewer bytes"},
    {kSeekFails, kSetFilePointer, "SetFilePointer", "fails"},
    {kFreeSpaceFails, kGetDiskFreeSpaceA, "GetDiskFreeSpaceA", "fails"},
    {kCloseFails, kCloseHandle, "CloseHandle", "fails"},
};

constexpr FaultFunction fault_function(FaultKind kind)
{
    for (const FaultKindInfo& info : kFaultKinds) {
        if (info.kind == kind)
            return info.function;
    }
    return kind == kChangedRead ? kReadFile : kFaultFunctionCount;
}

constexpr LONG kFaultControlMagic = 0x53444654;  // set by the injector once it has patched

// Every field is a 32-bit word written with interlocked calls: the test writes the armed
// fault and clears the counts while the program is idle; the program counts and fires.
struct FaultControl {
    volatile LONG magic;
    volatile LONG patched;      // import table entries taken over
    volatile LONG armed_kind;   // FaultKind
    volatile LONG armed_call;   // 1-based call of the kind's function that fails
    volatile LONG fired;        // the armed call came and failed
    volatile LONG calls[kFaultFunctionCount];
};

// "SliverdiskFaultControl-<pid>" without any library call, so the injector needs only
// kernel32.
inline void fault_control_name(DWORD pid, char (&name)[48])
{
    const char prefix[] = "SliverdiskFaultControl-";
    int n = 0;
    for (const char* p = prefix; *p; ++p)
        name[n++] = *p;
    char digits[12];
    int d = 0;
    do {
        digits[d++] = static_cast<char>('0' + pid % 10);
        pid /= 10;
    } while (pid);
    while (d)
        name[n++] = digits[--d];
    name[n] = '\0';
}

#endif
