// The control block shared by a test and the fault injector loaded into the program: which
// calls to make fail and how, how many calls of each function the program has made, and a
// log of them with the file each concerned; the sector size the program is told, the byte
// ranges of files that cannot be read, and whether GetDiskFreeSpaceExA is there. One named
// shared-memory block per program process, made by the test before the injector is loaded.
//   fault_control_name - the block's name for a process id
//   kFaultKinds        - every fault kind with its function and its name in reports
//   fault_function     - the function a kind makes fail
#ifndef SLIVERDISK_FAULT_CONTROL_H
#define SLIVERDISK_FAULT_CONTROL_H

#include <windows.h>

// The file functions the injector takes over: in the program's import table, and the one
// the program looks up with GetProcAddress (GetDiskFreeSpaceExA).
enum FaultFunction : LONG {
    kCreateFileA,
    kReadFile,
    kWriteFile,
    kSetFilePointer,
    kGetDiskFreeSpaceA,
    kCloseHandle,
    kFlushFileBuffers,
    kSetEndOfFile,
    kGetDiskFreeSpaceExA,
    kFaultFunctionCount
};
// The import table entries taken over: the file functions but the one looked up, the clock
// (GetTickCount, Sleep) for the fast clock below, and GetProcAddress, which hands it out.
constexpr LONG kHookCount = kFaultFunctionCount - 1 + 3;

enum FaultKind : LONG {
    kNoFault,
    kOpenFails,       // CreateFileA: not ready
    kReadFails,       // ReadFile
    kShortRead,       // ReadFile: half the bytes asked for, the rest stays unread
    kShortWrite,      // WriteFile: half the bytes written, reported as such
    kSeekFails,       // SetFilePointer: the position does not move
    kFreeSpaceFails,  // GetDiskFreeSpaceA
    kCloseFails,      // CloseHandle: the handle stays open, as with any refused close
    kFlushFails,      // FlushFileBuffers
    kCutFails,        // SetEndOfFile: the length stays
    kChangedRead,     // ReadFile: succeeds, but one byte comes back changed, as from a
                      // medium that returns other bytes than it took
    kChangedWrite,    // WriteFile: reports every byte written, but one is stored changed
    kFreeSpaceExFails,  // GetDiskFreeSpaceExA
    kFaultKindCount
};

struct FaultKindInfo {
    FaultKind kind;
    FaultFunction function;
    const char* function_name;
    const char* name;
};

constexpr FaultKindInfo kFaultKinds[] = {
    {kOpenFails, kCreateFileA, "CreateFileA", "fails"},
    {kReadFails, kReadFile, "ReadFile", "fails"},
    {kShortRead, kReadFile, "ReadFile", "fewer bytes"},
    {kShortWrite, kWriteFile, "WriteFile", "fewer bytes"},
    {kSeekFails, kSetFilePointer, "SetFilePointer", "fails"},
    {kFreeSpaceFails, kGetDiskFreeSpaceA, "GetDiskFreeSpaceA", "fails"},
    {kCloseFails, kCloseHandle, "CloseHandle", "fails"},
    {kFlushFails, kFlushFileBuffers, "FlushFileBuffers", "fails"},
    {kCutFails, kSetEndOfFile, "SetEndOfFile", "fails"},
    {kChangedRead, kReadFile, "ReadFile", "a byte changed"},
    {kChangedWrite, kWriteFile, "WriteFile", "a byte changed"},
    {kFreeSpaceExFails, kGetDiskFreeSpaceExA, "GetDiskFreeSpaceExA", "fails"},
};

constexpr FaultFunction fault_function(FaultKind kind)
{
    for (const FaultKindInfo& info : kFaultKinds) {
        if (info.kind == kind)
            return info.function;
    }
    return kFaultFunctionCount;
}

constexpr LONG kFaultControlMagic = 0x53444654;  // set by the injector once it has patched

// Calls `first` to `last` (1-based) of the kind's function fail.
struct ArmedFault {
    volatile LONG kind;
    volatile LONG first;
    volatile LONG last;
    volatile LONG failed;  // calls this fault made fail
};

// What a logged call concerned: the file's handle or name was opened for writing, past the
// file cache; a seek from the end; the injector made the call fail.
constexpr LONG kWrites = 1, kNoBuffering = 2, kFromEnd = 4, kFaulted = 8;

struct LoggedCall {
    LONG function;  // FaultFunction
    LONG call;      // 1-based, among the calls of that function
    LONG flags;     // the flags above
    char file[40];  // the end of the file's name, for calls on a file
    // Reads and writes: where, how many bytes asked and done, and the error of a failure.
    ULONGLONG offset;
    DWORD asked, done, error;
};

constexpr LONG kMaxArmed = 2;
constexpr LONG kLogSize = 512;
constexpr LONG kMaxRefused = 16;
constexpr LONG kMaxBadRanges = 4;

// Reads of the file (a name end, as the log keeps them) that touch [from, to) fail, as
// from a bad sector; set while `active` is 0.
struct BadRange {
    volatile LONG active;
    char file[sizeof(LoggedCall::file)];
    ULONGLONG from, to;
};

// Every field is written with interlocked calls or while the program makes no counted
// call: the test arms and clears while the program is idle; the program counts and fires.
struct FaultControl {
    volatile LONG magic;
    volatile LONG patched;     // import table entries taken over
    // Sleep(n) moves GetTickCount on by n at once instead of waiting: the program's fixed
    // pauses take no time. Only for tests about file calls, never about pacing.
    volatile LONG fast_clock;
    volatile LONG clock_ahead;
    // The bytes per sector GetDiskFreeSpaceA reports (0: the system's). Reads and writes of
    // a handle opened past the file cache must keep to that sector size, as on Windows.
    volatile LONG sector_size;
    volatile LONG unbuffered_violations;
    // The lookup of GetDiskFreeSpaceExA gives nothing, as on the first Windows 95.
    volatile LONG hide_free_space_ex;
    BadRange bad[kMaxBadRanges];
    ArmedFault armed[kMaxArmed];
    volatile LONG calls[kFaultFunctionCount];
    volatile LONG logged;      // calls made; the first kLogSize are in `log`
    LoggedCall log[kLogSize];
    volatile LONG refused;     // handles left open by a refused close, for the test to close
    volatile ULONG_PTR refused_handles[kMaxRefused];
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
