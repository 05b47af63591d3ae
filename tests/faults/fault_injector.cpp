// The fault injector: a DLL a test loads into the real program before its first
// instruction runs. It takes over the program's import table entries of eight file
// functions, and through GetProcAddress the GetDiskFreeSpaceExA the program looks up;
// counts and logs every call the program makes to them (with the file each concerns), and
// makes the calls the test armed in the shared control block (fault_control.h) fail in the
// armed way. Whatever is armed, it fails reads of the bad byte ranges the test set, and
// reads and writes past the file cache that break the platform's sector rule, which Wine
// does not enforce. It also takes over GetTickCount and Sleep, for the fast clock. The
// program knows nothing of it: only calls the executable itself makes go through its import
// table, so calls of the system's own DLLs (the file choosers, say) are neither counted nor
// failed.
//   DllMain       - opens the control block, patches the import table, reports `patched`
//   patch_imports - replaces the kernel32 entries of the executable by the hooks below
//   note_call     - counts and logs a call; returns the armed kind when it is to fail
//   note_result   - what the logged read or write did
//   remember / forget / file_of - the name and flags of every file handle the program holds
//   refused_transfer - a read or write the platform or a bad range refuses, with its error;
//                    position_of, ends_with - what it compares
//   read_file / write_file / refuse - a transfer as the armed fault has it
//   told_geometry - the drive's geometry with the sector size the test chose
//   hook_*        - one per function: the fault, or the real call
#include <windows.h>

#include "faults/fault_control.h"

namespace {

using CreateFileAFn = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                      HANDLE);
using ReadFileFn = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using SetFilePointerFn = DWORD(WINAPI*)(HANDLE, LONG, PLONG, DWORD);
using GetDiskFreeSpaceAFn = BOOL(WINAPI*)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
using GetDiskFreeSpaceExAFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                            PULARGE_INTEGER);
using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
using HandleFn = BOOL(WINAPI*)(HANDLE);
using GetTickCountFn = DWORD(WINAPI*)();
using SleepFn = void(WINAPI*)(DWORD);

constexpr int kMaxFiles = 32;

struct OpenFile {
    HANDLE handle;
    LONG flags;
    DWORD sector;  // past the file cache: the sector size its transfers keep to
    char file[sizeof(LoggedCall::file)];
};

struct Injector {
    FaultControl* control = nullptr;
    CreateFileAFn create_file = nullptr;
    ReadFileFn read_file = nullptr;
    WriteFileFn write_file = nullptr;
    SetFilePointerFn set_file_pointer = nullptr;
    GetDiskFreeSpaceAFn get_disk_free_space = nullptr;
    GetDiskFreeSpaceExAFn get_disk_free_space_ex = nullptr;
    GetProcAddressFn get_proc_address = nullptr;
    HandleFn close_handle = nullptr;
    HandleFn flush_file_buffers = nullptr;
    HandleFn set_end_of_file = nullptr;
    GetTickCountFn get_tick_count = nullptr;
    SleepFn sleep = nullptr;
    // Only the copy worker makes file calls, one at a time.
    OpenFile files[kMaxFiles] = {};
    LONG last_logged = kLogSize;  // the log entry of the call under way
    DWORD told_sector = 0;        // the bytes per sector the program was last told
};
Injector g_injector;

// The end of a name, which tells the files of one test apart.
void copy_name_end(const char* name, char* out)
{
    const int size = sizeof(LoggedCall::file);
    const int length = name ? lstrlenA(name) : 0;
    const char* from = name + (length >= size ? length - (size - 1) : 0);
    lstrcpynA(out, name ? from : "", size);
}

void forget(HANDLE handle)
{
    for (OpenFile& open : g_injector.files)
        if (open.handle == handle)
            open.handle = nullptr;
}

// A handle whose close was refused and that the test closed since may come again.
void remember(HANDLE handle, const char* file, LONG flags)
{
    forget(handle);
    for (OpenFile& open : g_injector.files) {
        if (!open.handle) {
            open.handle = handle;
            open.flags = flags;
            // The program asks the sector size of a volume right before it opens a file
            // there past the cache; one that never asked meets the smallest sector.
            open.sector = g_injector.told_sector ? g_injector.told_sector : 512;
            lstrcpynA(open.file, file, sizeof open.file);
            return;
        }
    }
}

const OpenFile* file_of(HANDLE handle)
{
    for (const OpenFile& open : g_injector.files)
        if (open.handle == handle)
            return &open;
    return nullptr;
}

// Counts and logs the call; returns the kind to fail it with, or kNoFault.
FaultKind note_call(FaultFunction function, const char* file, LONG flags,
                    const OpenFile* open = nullptr)
{
    FaultControl* c = g_injector.control;
    const LONG call = InterlockedIncrement(&c->calls[function]);
    FaultKind fail = kNoFault;
    for (ArmedFault& armed : c->armed) {
        const LONG kind = armed.kind;
        if (fail == kNoFault && kind > kNoFault && kind < kFaultKindCount &&
            fault_function(FaultKind(kind)) == function && call >= armed.first &&
            call <= armed.last) {
            InterlockedIncrement(&armed.failed);
            fail = FaultKind(kind);
        }
    }
    const LONG at = InterlockedIncrement(&c->logged) - 1;
    g_injector.last_logged = at;
    if (at < kLogSize) {
        LoggedCall& entry = c->log[at];
        entry.function = function;
        entry.call = call;
        entry.flags = flags | (open ? open->flags : 0) | (fail != kNoFault ? kFaulted : 0);
        lstrcpynA(entry.file, open ? open->file : file ? file : "", sizeof entry.file);
        entry.offset = 0;
        entry.asked = entry.done = entry.error = 0;
    }
    return fail;
}

// Returns the call's own result, with its error left as it was.
BOOL note_result(BOOL result, ULONGLONG offset, DWORD asked, const DWORD* done, LONG flags = 0)
{
    const DWORD error = GetLastError();
    if (g_injector.last_logged < kLogSize) {
        LoggedCall& entry = g_injector.control->log[g_injector.last_logged];
        entry.flags |= flags;
        entry.offset = offset;
        entry.asked = asked;
        entry.done = done ? *done : 0;
        entry.error = result ? 0 : error;
    }
    SetLastError(error);
    return result;
}

FaultKind note_handle_call(FaultFunction function, HANDLE handle, LONG flags = 0)
{
    return note_call(function, nullptr, flags, file_of(handle));
}

bool ends_with(const char* name, const char* end)
{
    const int n = lstrlenA(name), e = lstrlenA(end);
    return e > 0 && e <= n && lstrcmpiA(name + n - e, end) == 0;
}

ULONGLONG position_of(HANDLE file)
{
    LONG high = 0;
    const DWORD low = g_injector.set_file_pointer(file, 0, &high, FILE_CURRENT);
    return (ULONGLONG(DWORD(high)) << 32) | low;
}

// The error a transfer gets before it reaches the file, or 0. A handle opened past the file
// cache takes only whole sectors into and out of a buffer aligned to them, as NTFS has it;
// a read that touches a bad range fails as Wine's does on a FUSE drive answering EIO.
DWORD refused_transfer(const OpenFile* open, const void* buffer, ULONGLONG offset, DWORD length,
                       bool read)
{
    FaultControl* c = g_injector.control;
    if (open && (open->flags & kNoBuffering)) {
        const DWORD sector = open->sector;
        if (reinterpret_cast<ULONG_PTR>(buffer) % sector || offset % sector || length % sector) {
            InterlockedIncrement(&c->unbuffered_violations);
            return ERROR_INVALID_PARAMETER;
        }
    }
    for (const BadRange& bad : c->bad)
        if (read && open && bad.active && ends_with(open->file, bad.file) &&
            offset < bad.to && offset + length > bad.from)
            return ERROR_NOT_READY;
    return 0;
}

HANDLE WINAPI hook_create_file(LPCSTR name, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE model)
{
    char file[sizeof(LoggedCall::file)];
    copy_name_end(name, file);
    const LONG logged = ((access & GENERIC_WRITE) ? kWrites : 0) |
                        ((flags & FILE_FLAG_NO_BUFFERING) ? kNoBuffering : 0);
    if (note_call(kCreateFileA, file, logged) == kOpenFails) {
        SetLastError(ERROR_NOT_READY);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle =
        g_injector.create_file(name, access, share, security, disposition, flags, model);
    if (handle != INVALID_HANDLE_VALUE)
        remember(handle, file, logged);
    return handle;
}

BOOL refuse(DWORD error, LPDWORD done)
{
    if (done)
        *done = 0;
    SetLastError(error);
    return FALSE;
}

BOOL read_file(HANDLE file, LPVOID buffer, DWORD wanted, LPDWORD got, LPOVERLAPPED overlapped,
               FaultKind fail, DWORD refused)
{
    if (refused)
        return refuse(refused, got);
    switch (fail) {
    case kReadFails:
        return refuse(ERROR_READ_FAULT, got);
    case kShortRead:
        return g_injector.read_file(file, buffer, wanted / 2, got, overlapped);
    case kChangedRead: {
        const BOOL read = g_injector.read_file(file, buffer, wanted, got, overlapped);
        if (read && got && *got > 0)
            static_cast<BYTE*>(buffer)[*got / 2] ^= 0x01;
        return read;
    }
    default:
        return g_injector.read_file(file, buffer, wanted, got, overlapped);
    }
}

BOOL WINAPI hook_read_file(HANDLE file, LPVOID buffer, DWORD wanted, LPDWORD got,
                           LPOVERLAPPED overlapped)
{
    const OpenFile* open = file_of(file);
    const FaultKind fail = note_call(kReadFile, nullptr, 0, open);
    const ULONGLONG at = position_of(file);
    const DWORD refused = refused_transfer(open, buffer, at, wanted, true);
    const BOOL read = read_file(file, buffer, wanted, got, overlapped, fail, refused);
    return note_result(read, at, wanted, got, refused ? kFaulted : 0);
}

BOOL write_file(HANDLE file, LPCVOID buffer, DWORD wanted, LPDWORD written,
                LPOVERLAPPED overlapped, FaultKind fail)
{
    if (fail == kShortWrite)
        wanted /= 2;
    if (fail != kChangedWrite || wanted == 0)
        return g_injector.write_file(file, buffer, wanted, written, overlapped);
    // The program's buffer stays as it is: a copy of its own (page-aligned, for a handle past
    // the cache) goes to the file with one byte changed.
    auto* changed = static_cast<BYTE*>(VirtualAlloc(nullptr, wanted, MEM_COMMIT, PAGE_READWRITE));
    if (!changed)
        return refuse(ERROR_NOT_ENOUGH_MEMORY, written);
    CopyMemory(changed, buffer, wanted);
    changed[wanted / 2] ^= 0x01;
    const BOOL wrote = g_injector.write_file(file, changed, wanted, written, overlapped);
    VirtualFree(changed, 0, MEM_RELEASE);
    return wrote;
}

BOOL WINAPI hook_write_file(HANDLE file, LPCVOID buffer, DWORD wanted, LPDWORD written,
                            LPOVERLAPPED overlapped)
{
    const OpenFile* open = file_of(file);
    const FaultKind fail = note_call(kWriteFile, nullptr, 0, open);
    const ULONGLONG at = position_of(file);
    const DWORD refused = refused_transfer(open, buffer, at, wanted, false);
    const BOOL wrote = refused ? refuse(refused, written)
                               : write_file(file, buffer, wanted, written, overlapped, fail);
    return note_result(wrote, at, wanted, written, refused ? kFaulted : 0);
}

DWORD WINAPI hook_set_file_pointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method)
{
    if (note_handle_call(kSetFilePointer, file, method == FILE_END ? kFromEnd : 0) == kSeekFails) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    return g_injector.set_file_pointer(file, distance, distance_high, method);
}

// The cluster size and the free bytes stay what the drive says where the chosen sector
// divides its cluster; a cluster smaller than the sector becomes one sector.
BOOL told_geometry(LPCSTR root, DWORD& per_cluster, DWORD& sector, DWORD& free, DWORD& all)
{
    if (!g_injector.get_disk_free_space(root, &per_cluster, &sector, &free, &all))
        return FALSE;
    const DWORD told = static_cast<DWORD>(g_injector.control->sector_size);
    const ULONGLONG cluster = ULONGLONG(per_cluster) * sector;
    if (told && told != sector && cluster) {
        if (cluster % told == 0) {
            per_cluster = static_cast<DWORD>(cluster / told);
        } else {
            per_cluster = 1;
            free = static_cast<DWORD>(free * cluster / told);
            all = static_cast<DWORD>(all * cluster / told);
        }
        sector = told;
    }
    g_injector.told_sector = sector;
    return TRUE;
}

BOOL WINAPI hook_get_disk_free_space(LPCSTR root, LPDWORD sectors_per_cluster,
                                     LPDWORD bytes_per_sector, LPDWORD free_clusters,
                                     LPDWORD clusters)
{
    if (note_call(kGetDiskFreeSpaceA, root, 0) == kFreeSpaceFails) {
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    DWORD geometry[4] = {};
    if (!told_geometry(root, geometry[0], geometry[1], geometry[2], geometry[3]))
        return FALSE;
    LPDWORD out[4] = {sectors_per_cluster, bytes_per_sector, free_clusters, clusters};
    for (int i = 0; i < 4; ++i)
        if (out[i])
            *out[i] = geometry[i];
    return TRUE;
}

BOOL WINAPI hook_get_disk_free_space_ex(LPCSTR root, PULARGE_INTEGER available,
                                        PULARGE_INTEGER total, PULARGE_INTEGER free)
{
    if (note_call(kGetDiskFreeSpaceExA, root, 0) == kFreeSpaceExFails) {
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    return g_injector.get_disk_free_space_ex(root, available, total, free);
}

// The program finds GetDiskFreeSpaceExA at run time, so its import table holds no entry
// for it: the lookup hands out the hook instead, or nothing for a Windows without it.
FARPROC WINAPI hook_get_proc_address(HMODULE module, LPCSTR name)
{
    // A name below 64 K is an ordinal, not a string.
    const bool free_space_ex = (reinterpret_cast<ULONG_PTR>(name) >> 16) != 0 &&
                               module == GetModuleHandleA("kernel32.dll") &&
                               lstrcmpA(name, "GetDiskFreeSpaceExA") == 0;
    if (!free_space_ex)
        return g_injector.get_proc_address(module, name);
    if (g_injector.control->hide_free_space_ex) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    const FARPROC real = g_injector.get_proc_address(module, name);
    if (!real)
        return nullptr;
    g_injector.get_disk_free_space_ex =
        reinterpret_cast<GetDiskFreeSpaceExAFn>(reinterpret_cast<void*>(real));
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(hook_get_disk_free_space_ex));
}

BOOL WINAPI hook_close_handle(HANDLE handle)
{
    if (note_handle_call(kCloseHandle, handle) == kCloseFails) {
        FaultControl* c = g_injector.control;
        const LONG slot = InterlockedIncrement(&c->refused) - 1;
        if (slot < kMaxRefused)
            c->refused_handles[slot] = reinterpret_cast<ULONG_PTR>(handle);
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    forget(handle);
    return g_injector.close_handle(handle);
}

BOOL WINAPI hook_flush_file_buffers(HANDLE file)
{
    if (note_handle_call(kFlushFileBuffers, file) == kFlushFails) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return g_injector.flush_file_buffers(file);
}

BOOL WINAPI hook_set_end_of_file(HANDLE file)
{
    if (note_handle_call(kSetEndOfFile, file) == kCutFails) {
        SetLastError(ERROR_WRITE_FAULT);
        return FALSE;
    }
    return g_injector.set_end_of_file(file);
}

DWORD WINAPI hook_get_tick_count()
{
    return g_injector.get_tick_count() + static_cast<DWORD>(g_injector.control->clock_ahead);
}

void WINAPI hook_sleep(DWORD milliseconds)
{
    if (!g_injector.control->fast_clock)
        return g_injector.sleep(milliseconds);
    InterlockedExchangeAdd(&g_injector.control->clock_ahead, static_cast<LONG>(milliseconds));
    g_injector.sleep(0);
}

struct Hook {
    const char* name;
    void* replacement;
    void** real;
};

template <typename Fn>
Hook make_hook(const char* name, Fn replacement, Fn* real)
{
    return {name, reinterpret_cast<void*>(replacement), reinterpret_cast<void**>(real)};
}

bool replace_slot(ULONG_PTR* slot, void* replacement)
{
    DWORD old = 0;
    if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old))
        return false;
    *slot = reinterpret_cast<ULONG_PTR>(replacement);
    VirtualProtect(slot, sizeof *slot, old, &old);
    return true;
}

LONG patch_imports()
{
    Injector& i = g_injector;
    const Hook hooks[] = {
        make_hook("CreateFileA", hook_create_file, &i.create_file),
        make_hook("ReadFile", hook_read_file, &i.read_file),
        make_hook("WriteFile", hook_write_file, &i.write_file),
        make_hook("SetFilePointer", hook_set_file_pointer, &i.set_file_pointer),
        make_hook("GetDiskFreeSpaceA", hook_get_disk_free_space, &i.get_disk_free_space),
        make_hook("CloseHandle", hook_close_handle, &i.close_handle),
        make_hook("FlushFileBuffers", hook_flush_file_buffers, &i.flush_file_buffers),
        make_hook("SetEndOfFile", hook_set_end_of_file, &i.set_end_of_file),
        make_hook("GetTickCount", hook_get_tick_count, &i.get_tick_count),
        make_hook("Sleep", hook_sleep, &i.sleep),
        make_hook("GetProcAddress", hook_get_proc_address, &i.get_proc_address),
    };
    static_assert(sizeof hooks / sizeof hooks[0] == kHookCount, "one hook per function");
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
        return 0;
    LONG patched = 0;
    for (auto* import = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         import->Name; ++import) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), "kernel32.dll") != 0)
            continue;
        // The name table; without one, the names are gone once the loader has bound the
        // entries, and nothing here can be patched.
        if (!import->OriginalFirstThunk)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* by_name = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            for (const Hook& hook : hooks) {
                if (lstrcmpA(reinterpret_cast<const char*>(by_name->Name), hook.name) != 0)
                    continue;
                auto* slot = reinterpret_cast<ULONG_PTR*>(&slots->u1.Function);
                *hook.real = reinterpret_cast<void*>(*slot);
                if (replace_slot(slot, hook.replacement))
                    ++patched;
            }
        }
    }
    return patched;
}

bool attach()
{
    char name[48];
    fault_control_name(GetCurrentProcessId(), name);
    HANDLE mapping = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
    if (!mapping)
        return false;
    // The view and the mapping stay for the life of the process.
    g_injector.control = static_cast<FaultControl*>(
        MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(FaultControl)));
    if (!g_injector.control)
        return false;
    InterlockedExchange(&g_injector.control->patched, patch_imports());
    InterlockedExchange(&g_injector.control->magic, kFaultControlMagic);
    return true;
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    // Without its control block the injector refuses to load, so the test sees it failed.
    if (reason == DLL_PROCESS_ATTACH)
        return attach() ? TRUE : FALSE;
    return TRUE;
}
