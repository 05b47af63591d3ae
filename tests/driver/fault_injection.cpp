// The test's side of the fault injector (see fault_injection.h).
#include "driver/fault_injection.h"


namespace drv {

FaultControlBlock::~FaultControlBlock()
{
    close();
}

bool FaultControlBlock::create(DWORD pid)
{
    close();
    char name[48];
    fault_control_name(pid, name);
    mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  sizeof(FaultControl), name);
    if (!mapping_)
        return false;
    control_ = static_cast<FaultControl*>(
        MapViewOfFile(mapping_, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(FaultControl)));
    if (!control_)
        return false;
    ZeroMemory(control_, sizeof(FaultControl));
    return true;
}

void FaultControlBlock::close()
{
    if (control_)
        UnmapViewOfFile(control_);
    if (mapping_)
        CloseHandle(mapping_);
    control_ = nullptr;
    mapping_ = nullptr;
}

void FaultControlBlock::arm(const std::vector<Fault>& faults)
{
    if (!control_)
        return;
    for (LONG i = 0; i < kMaxArmed; ++i) {
        const Fault fault = i < LONG(faults.size()) ? faults[i] : Fault{kNoFault, 0, 0};
        InterlockedExchange(&control_->armed[i].kind, kNoFault);
        InterlockedExchange(&control_->armed[i].failed, 0);
        InterlockedExchange(&control_->armed[i].first, fault.first);
        InterlockedExchange(&control_->armed[i].last, fault.last);
        InterlockedExchange(&control_->armed[i].kind, fault.kind);
    }
    for (volatile LONG& count : control_->calls)
        InterlockedExchange(&count, 0);
    InterlockedExchange(&control_->logged, 0);
    InterlockedExchange(&control_->refused, 0);
    InterlockedExchange(&control_->unbuffered_violations, 0);
}

void FaultControlBlock::fast_clock(bool on)
{
    if (control_)
        InterlockedExchange(&control_->fast_clock, on);
}

void FaultControlBlock::hide_free_space_ex(bool hidden)
{
    if (control_)
        InterlockedExchange(&control_->hide_free_space_ex, hidden);
}

void FaultControlBlock::sector_size(DWORD bytes)
{
    if (control_)
        InterlockedExchange(&control_->sector_size, LONG(bytes));
}

LONG FaultControlBlock::unbuffered_violations() const
{
    return control_ ? control_->unbuffered_violations : 0;
}

void FaultControlBlock::bad_range(int slot, const std::string& file_end, uint64_t from,
                                  uint64_t to)
{
    if (!control_ || slot < 0 || slot >= kMaxBadRanges)
        return;
    BadRange& bad = control_->bad[slot];
    InterlockedExchange(&bad.active, 0);
    lstrcpynA(bad.file, file_end.c_str(), sizeof bad.file);
    bad.from = from;
    bad.to = to;
    InterlockedExchange(&bad.active, 1);
}

void FaultControlBlock::clear_bad_ranges()
{
    for (LONG i = 0; control_ && i < kMaxBadRanges; ++i)
        InterlockedExchange(&control_->bad[i].active, 0);
}

LONG FaultControlBlock::calls(FaultFunction function) const
{
    return control_ ? control_->calls[function] : 0;
}

bool FaultControlBlock::fired() const
{
    for (LONG i = 0; control_ && i < kMaxArmed; ++i)
        if (control_->armed[i].kind != kNoFault && control_->armed[i].failed == 0)
            return false;
    return control_ != nullptr;
}

LONG FaultControlBlock::failed(int armed) const
{
    return control_ ? control_->armed[armed].failed : 0;
}

LONG FaultControlBlock::logged() const
{
    return control_ ? control_->logged : 0;
}

std::vector<LoggedCall> FaultControlBlock::log() const
{
    if (!control_)
        return {};
    const LONG n = control_->logged < kLogSize ? control_->logged : kLogSize;
    return std::vector<LoggedCall>(control_->log, control_->log + n);
}

bool FaultControlBlock::close_refused(HANDLE process)
{
    bool closed = true;
    const LONG n = control_ ? control_->refused : 0;
    for (LONG i = 0; i < n && i < kMaxRefused; ++i) {
        // Wine closes another process's handle only while duplicating it into one.
        const auto handle = reinterpret_cast<HANDLE>(control_->refused_handles[i]);
        HANDLE copy = nullptr;
        closed &= DuplicateHandle(process, handle, GetCurrentProcess(), &copy, 0, FALSE,
                                  DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS) &&
                  CloseHandle(copy);
    }
    if (control_)
        InterlockedExchange(&control_->refused, 0);
    return closed && n <= kMaxRefused;
}

bool FaultControlBlock::injector_ready() const
{
    return control_ && control_->magic == kFaultControlMagic;
}

LONG FaultControlBlock::patched() const
{
    return control_ ? control_->patched : 0;
}

bool load_library_into(HANDLE process, const std::string& dll_path, DWORD timeout_ms)
{
    const SIZE_T size = dll_path.size() + 1;
    void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote)
        return false;
    bool loaded = false;  // the remote call has returned
    // kernel32 lies at the same address in every process of one architecture, so the
    // loader's entry found here is the one over there.
    auto* load = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "LoadLibraryA")));
    if (WriteProcessMemory(process, remote, dll_path.c_str(), size, nullptr) && load) {
        HANDLE thread = CreateRemoteThread(process, nullptr, 0, load, remote, 0, nullptr);
        if (thread) {
            // The thread's exit code is only the low half of the module's address: whether
            // the library loaded is for the caller to find out from the library itself.
            loaded = WaitForSingleObject(thread, timeout_ms) == WAIT_OBJECT_0;
            CloseHandle(thread);
        }
    }
    // A remote thread that is still running may yet read the name: leave it then.
    if (loaded)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return loaded;
}

std::string fault_injector_path()
{
    return windows_path(build_dir() + "/tests/fault_injector.dll");
}

bool start_with_injector(Program& app, FaultControlBlock& faults)
{
    const bool started = app.start(SW_SHOWNORMAL, kDefaultTimeout, [&](const PROCESS_INFORMATION& p) {
        return faults.create(p.dwProcessId) &&
               load_library_into(p.hProcess, fault_injector_path(), kDefaultTimeout) &&
               faults.injector_ready() && faults.patched() == kHookCount;
    });
    faults.disarm();
    return started;
}

bool start_as_run_has_it(Program& app, FaultControlBlock& faults)
{
    if (!start_with_injector(app, faults))
        return false;
    const RunSetting& run = run_setting();
    faults.fast_clock(!run.windows.empty());
    faults.hide_free_space_ex(run.windows == "win95");
    return true;
}

} // namespace drv
