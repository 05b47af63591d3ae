// The fault injector: a DLL a test loads into the real program before its first
// instruction runs. It takes over the program's import table entries of six file functions,
// counts every call the program makes to them, and makes the one call the test armed in the
// shared control block (fault_control.h) fail in the armed way. The program knows nothing
// of it: only calls the executable itself makes go through its import table, so calls of
// the system's own DLLs (the file choosers, say) are neither counted nor failed.
//   DllMain      - opens the control block, patches the import table, reports `patched`
//   patch_imports - replaces the kernel32 entries of the executable by the hooks below
//   armed        - counts a call and says whether it is the one to fail
//   hook_*       - one per function: the fault, or the real call
#include <windows.h>

#include "faults/fault_control.h"

namespace {

using CreateFileAFn = HANDLE(WINAPI*)(LPCSTR, DWORD, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD,
                                      HANDLE);
using ReadFileFn = BOOL(WINAPI*)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
using WriteFileFn = BOOL(WINAPI*)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
using SetFilePointerFn = DWORD(WINAPI*)(HANDLE, LONG, PLONG, DWORD);
using GetDiskFreeSpaceAFn = BOOL(WINAPI*)(LPCSTR, LPDWORD, LPDWORD, LPDWORD, LPDWORD);
using CloseHandleFn = BOOL(WINAPI*)(HANDLE);

struct Injector {
    FaultControl* control = nullptr;
    CreateFileAFn create_file = nullptr;
    ReadFileFn read_file = nullptr;
    WriteFileFn write_file = nullptr;
    SetFilePointerFn set_file_pointer = nullptr;
    GetDiskFreeSpaceAFn get_disk_free_space = nullptr;
    CloseHandleFn close_handle = nullptr;
};
Injector g_injector;

// Counts the call; returns the armed kind when this is the call to fail, else kNoFault.
FaultKind armed(FaultFunction function)
{
    FaultControl* c = g_injector.control;
    const LONG call = InterlockedIncrement(&c->calls[function]);
    const LONG kind = c->armed_kind;
    if (kind <= kNoFault || kind >= kFaultKindCount || call != c->armed_call ||
        fault_function(FaultKind(kind)) != function)
        return kNoFault;
    InterlockedExchange(&c->fired, 1);
    return FaultKind(kind);
}

HANDLE WINAPI hook_create_file(LPCSTR name, DWORD access, DWORD share,
                               LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                               HANDLE model)
{
    switch (armed(kCreateFileA)) {
    case kAccessDenied:
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    case kNotReady:
        SetLastError(ERROR_NOT_READY);
        return INVALID_HANDLE_VALUE;
    default:
        return g_injector.create_file(name, access, share, security, disposition, flags, model);
    }
}

BOOL WINAPI hook_read_file(HANDLE file, LPVOID buffer, DWORD wanted, LPDWORD got,
                           LPOVERLAPPED overlapped)
{
    switch (armed(kReadFile)) {
    case kReadFails:
        if (got)
            *got = 0;
        SetLastError(ERROR_READ_FAULT);
        return FALSE;
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

BOOL WINAPI hook_write_file(HANDLE file, LPCVOID buffer, DWORD wanted, LPDWORD written,
                            LPOVERLAPPED overlapped)
{
    switch (armed(kWriteFile)) {
    case kDiskFull:
        if (written)
            *written = 0;
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    case kShortWrite:
        return g_injector.write_file(file, buffer, wanted / 2, written, overlapped);
    default:
        return g_injector.write_file(file, buffer, wanted, written, overlapped);
    }
}

DWORD WINAPI hook_set_file_pointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method)
{
    if (armed(kSetFilePointer) == kSeekFails) {
        SetLastError(ERROR_NEGATIVE_SEEK);
        return INVALID_SET_FILE_POINTER;
    }
    return g_injector.set_file_pointer(file, distance, distance_high, method);
}

BOOL WINAPI hook_get_disk_free_space(LPCSTR root, LPDWORD sectors_per_cluster,
                                     LPDWORD bytes_per_sector, LPDWORD free_clusters,
                                     LPDWORD clusters)
{
    if (armed(kGetDiskFreeSpaceA) == kFreeSpaceFails) {
        SetLastError(ERROR_NOT_READY);
        return FALSE;
    }
    return g_injector.get_disk_free_space(root, sectors_per_cluster, bytes_per_sector,
                                          free_clusters, clusters);
}

BOOL WINAPI hook_close_handle(HANDLE handle)
{
    if (armed(kCloseHandle) == kCloseFails) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return g_injector.close_handle(handle);
}

struct Hook {
    const char* name;
    void* replacement;
    void** real;
};

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
    const Hook hooks[] = {
        {"CreateFileA", reinterpret_cast<void*>(hook_create_file),
         reinterpret_cast<void**>(&g_injector.create_file)},
        {"ReadFile", reinterpret_cast<void*>(hook_read_file),
         reinterpret_cast<void**>(&g_injector.read_file)},
        {"WriteFile", reinterpret_cast<void*>(hook_write_file),
         reinterpret_cast<void**>(&g_injector.write_file)},
        {"SetFilePointer", reinterpret_cast<void*>(hook_set_file_pointer),
         reinterpret_cast<void**>(&g_injector.set_file_pointer)},
        {"GetDiskFreeSpaceA", reinterpret_cast<void*>(hook_get_disk_free_space),
         reinterpret_cast<void**>(&g_injector.get_disk_free_space)},
        {"CloseHandle", reinterpret_cast<void*>(hook_close_handle),
         reinterpret_cast<void**>(&g_injector.close_handle)},
    };
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
