// Black-box driver for the real program under Wine (see ui_driver.h).
#include "driver/ui_driver.h"

#include <tlhelp32.h>

#include <cstdio>
#include <cstring>

namespace drv {

namespace {

constexpr DWORD kPollStep = 20;
constexpr int kMessageTextId = 0xFFFF;   // the message box's text control
constexpr int kMessageIconId = 0x0440;   // the message box's icon control (stc1)
constexpr int kChooserNameId = 1148;     // file-name field of the platform's choosers

struct DriverState {
    unsigned host_commands = 0;
    bool program_ready = false;  // the run's copy of the program and its key are in place
};
DriverState g_driver;

std::string env(const char* name)
{
    char value[1024] = "";
    const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n > 0 && n < sizeof value ? std::string(value) : std::string();
}

std::string quote(const std::string& text)  // for /bin/sh
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

struct ProcessWindows {
    DWORD pid;
    const char* wanted_class;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_window(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<ProcessWindows*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == search->pid && IsWindowVisible(window) && class_name(window) == search->wanted_class)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> top_level_windows(DWORD pid, const char* wanted_class)
{
    ProcessWindows search{pid, wanted_class, {}};
    EnumWindows(collect_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

BOOL CALLBACK collect_button(HWND child, LPARAM param)
{
    auto* box = reinterpret_cast<Box*>(param);
    if (IsWindowVisible(child) && class_name(child) == "Button")
        box->buttons.push_back(window_text(child));
    return TRUE;
}

// Dominant hue of the icon shown at the box's icon control: the system error icon is red,
// the information icon blue. Read from the screen, since icon handles are per process.
void read_icon_kind(Box& box)
{
    HWND icon = GetDlgItem(box.window, kMessageIconId);
    if (!icon || !IsWindowVisible(icon))
        return;
    RECT r;
    GetWindowRect(icon, &r);
    HDC screen = GetDC(nullptr);
    int red = 0, blue = 0;
    for (int y = r.top; y < r.bottom; ++y) {
        for (int x = r.left; x < r.right; ++x) {
            const COLORREF c = GetPixel(screen, x, y);
            if (c == CLR_INVALID)
                continue;
            const int R = GetRValue(c), G = GetGValue(c), B = GetBValue(c);
            if (R > 150 && G < 100 && B < 100)
                ++red;
            if (B > 150 && R < 120)
                ++blue;
        }
    }
    ReleaseDC(nullptr, screen);
    box.error_icon = red > blue && red > 10;
    box.information_icon = blue > red && blue > 10;
}

} // namespace

// --- host side ---------------------------------------------------------------------------

namespace {

// Outside the test command the driver would fall back to the user's own Wine prefix (and
// change its drive letters) and to folders at the file system's root: it stops the test
// program instead, before the first host command or drive change.
void require_build_environment()
{
    static const bool ok = [] {
        const std::string build = env("SLIVERDISK_BUILD_DIR");
        return !build.empty() && build[0] == '/' && env("WINEPREFIX") == build + "/wineprefix";
    }();
    if (ok)
        return;
    std::fprintf(stderr,
                 "ui_driver: refusing to run without the build's environment: run the tests "
                 "through tools/test.sh (or set SLIVERDISK_BUILD_DIR to the build folder and "
                 "WINEPREFIX to its wineprefix folder)\n");
    std::fflush(stderr);
    ExitProcess(2);
}

} // namespace

std::string build_dir()
{
    require_build_environment();
    return env("SLIVERDISK_BUILD_DIR");
}

// --- the run's setting ---------------------------------------------------------------------

namespace {

// One floppy drive each (the prefix declares A:, B:, F: and G:), since these runs go side by
// side; the runs of Wine's default setting go alone and use B: like the 98 run.
struct OlderWindows {
    const char* windows;
    char drive;
    WindowsVersion version;
};
constexpr OlderWindows kOlderWindows[] = {
    {"win95", 'A', {4, 0, VER_PLATFORM_WIN32_WINDOWS}},
    {"win98", 'B', {4, 10, VER_PLATFORM_WIN32_WINDOWS}},
    {"nt40", 'F', {4, 0, VER_PLATFORM_WIN32_NT}},
    {"winxp", 'G', {5, 1, VER_PLATFORM_WIN32_NT}},
};

const OlderWindows* older_windows()
{
    const std::string wanted = env("SLIVERDISK_WINDOWS");
    if (wanted.empty())
        return nullptr;
    for (const OlderWindows& w : kOlderWindows) {
        if (wanted == w.windows)
            return &w;
    }
    // A misspelt name would quietly test Wine's default instead.
    std::fprintf(stderr, "ui_driver: SLIVERDISK_WINDOWS=%s is none of win95, win98, nt40, winxp\n",
                 wanted.c_str());
    std::fflush(stderr);
    ExitProcess(2);
}

// The run's own folder under build/test-data.
std::string data_dir()
{
    const std::string windows = run_setting().windows;
    return build_dir() + "/test-data" + (windows.empty() ? "" : "/" + windows);
}

// The key holds the file name alone, so the name must be the run's own; the copy is made
// afresh by every run, from the program just built.
bool prepare_program()
{
    if (g_driver.program_ready || run_setting().windows.empty())
        return true;
    const std::string windows = run_setting().windows;
    const std::string dir = data_dir() + "/program";
    const std::string key = "Software\\Wine\\AppDefaults\\sliverdisk-" + windows + ".exe";
    HKEY app_defaults = nullptr;
    bool ok = host_command("mkdir -p " + quote(dir)) &&
              CopyFileA(windows_path(build_dir() + "/sliverdisk.exe").c_str(),
                        windows_path(program_path()).c_str(), FALSE) &&
              RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &app_defaults, nullptr) == ERROR_SUCCESS;
    if (app_defaults) {
        ok = ok && RegSetValueExA(app_defaults, "Version", 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(windows.c_str()),
                                  static_cast<DWORD>(windows.size() + 1)) == ERROR_SUCCESS;
        RegCloseKey(app_defaults);
    }
    if (!ok)
        std::fprintf(stderr, "ui_driver: could not set up %s under the name of the %s run\n",
                     program_path().c_str(), windows.c_str());
    g_driver.program_ready = ok;
    return ok;
}

} // namespace

const RunSetting& run_setting()
{
    static const RunSetting setting = [] {
        RunSetting s;
        if (const OlderWindows* w = older_windows()) {
            s.windows = w->windows;
            s.drive = w->drive;
            s.own_display = false;
        }
        return s;
    }();
    return setting;
}

std::string program_path()
{
    const std::string windows = run_setting().windows;
    return windows.empty() ? build_dir() + "/sliverdisk.exe"
                           : data_dir() + "/program/sliverdisk-" + windows + ".exe";
}

bool expected_windows_version(WindowsVersion& version)
{
    const OlderWindows* w = older_windows();
    if (w)
        version = w->version;
    return w != nullptr;
}

bool reported_windows_version(HANDLE process, WindowsVersion& version)
{
    struct BasicInformation {
        void* reserved;
        void* peb;
        void* more[4];
    } basic = {};
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
    // OSMajorVersion, OSMinorVersion, the build and service pack numbers, OSPlatformId.
#ifdef _WIN64
    constexpr size_t kVersionAt = 0x118;
#else
    constexpr size_t kVersionAt = 0xA4;
#endif
    struct {
        ULONG major, minor;
        USHORT build, service_pack;
        ULONG platform;
    } fields = {};
    if (!query || query(process, 0, &basic, sizeof basic, nullptr) != 0 || !basic.peb ||
        !ReadProcessMemory(process, static_cast<const char*>(basic.peb) + kVersionAt, &fields,
                           sizeof fields, nullptr))
        return false;
    version = {fields.major, fields.minor, fields.platform};
    return true;
}

std::string windows_path(const std::string& unix_path)
{
    std::string out = "Z:";
    for (char c : unix_path)
        out += c == '/' ? '\\' : c;
    return out;
}

bool host_command(const std::string& command, DWORD timeout_ms)
{
    // Wine starts Unix programs from CreateProcess, but the handle it returns cannot be
    // waited on, so the script reports its end through a marker file.
    const std::string dir = build_dir() + "/test-data/host";
    CreateDirectoryA(windows_path(build_dir() + "/test-data").c_str(), nullptr);
    CreateDirectoryA(windows_path(dir).c_str(), nullptr);
    const std::string stem = dir + "/cmd-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++g_driver.host_commands);
    const std::string script = stem + ".sh", marker = stem + ".done";
    DeleteFileA(windows_path(marker).c_str());
    const std::string body = "(" + command + ") >" + quote(stem + ".log") + " 2>&1\n" +
                             "echo $? >" + quote(marker + ".tmp") + "\n" + "mv " +
                             quote(marker + ".tmp") + " " + quote(marker) + "\n";
    if (!write_file(windows_path(script), body))
        return false;
    std::string line = "/bin/sh " + script;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    // For a Unix program Wine gives no process handle and leaves garbage where the thread's
    // should be: closing that would close whichever handle of this process has that value
    // (once the folder of named objects, so that no shared-memory block could be made).
    if (pi.hProcess) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    std::string status;
    if (!wait_until([&] { return read_file(windows_path(marker), status); }, timeout_ms))
        return false;
    return status.rfind("0", 0) == 0;
}

std::string shell_quote(const std::string& text)
{
    return quote(text);
}

bool set_drive(char letter, const std::string& unix_dir)
{
    const char l = static_cast<char>(letter | 0x20);
    return host_command("mkdir -p " + quote(unix_dir) + " && ln -sfn " + quote(unix_dir) +
                        " \"$WINEPREFIX/dosdevices/" + l + ":\"");
}

bool remove_drive(char letter)
{
    const char l = static_cast<char>(letter | 0x20);
    return host_command(std::string("rm -f \"$WINEPREFIX/dosdevices/") + l + ":\"");
}

namespace {

// Wine's own mount manager interface (what its configuration tool uses).
struct UnixDrive {
    ULONG size;
    ULONG type;
    ULONG fs_type;
    DWORD serial;
    ULONGLONG unix_dev;
    WCHAR letter;
    USHORT mount_point;
    USHORT device;
    USHORT label;
};
constexpr DWORD kDefineUnixDrive = 0x6DC080;

// DRIVE_NO_ROOT_DIR as the type removes the letter.
bool define_unix_drive(char letter, UINT type, const std::string& unix_dir)
{
    require_build_environment();
    std::vector<char> request(sizeof(UnixDrive) + unix_dir.size() + 1, '\0');
    auto* drive = reinterpret_cast<UnixDrive*>(request.data());
    drive->size = static_cast<ULONG>(request.size());
    drive->type = type;
    drive->letter = static_cast<WCHAR>(letter | 0x20);
    if (!unix_dir.empty()) {
        drive->mount_point = sizeof(UnixDrive);
        std::memcpy(request.data() + sizeof(UnixDrive), unix_dir.c_str(), unix_dir.size() + 1);
    }
    HANDLE manager = CreateFileA("\\\\.\\MountPointManager", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    if (manager == INVALID_HANDLE_VALUE)
        return false;
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(manager, kDefineUnixDrive, request.data(),
                                    static_cast<DWORD>(request.size()), nullptr, 0, &returned,
                                    nullptr);
    CloseHandle(manager);
    return ok != FALSE;
}

UINT drive_type(char letter)
{
    const char root[] = {letter, ':', '\\', '\0'};
    return GetDriveTypeA(root);
}

} // namespace

bool define_removable_drive(char letter, const std::string& unix_dir)
{
    return define_unix_drive(letter, DRIVE_REMOVABLE, unix_dir) &&
           drive_type(letter) == DRIVE_REMOVABLE;
}

bool undefine_drive(char letter)
{
    return define_unix_drive(letter, DRIVE_NO_ROOT_DIR, "") &&
           drive_type(letter) == DRIVE_NO_ROOT_DIR;
}


namespace {

// A medium the program has just let go of can stay busy for a moment after its process
// ended, while Wine closes what it held (seen with four runs side by side): the unmount is
// tried for up to 5 s, and what still holds it then goes into the command's log.
std::string unmount_command(const std::string& quoted_dir)
{
    const std::string& d = quoted_dir;
    return "! mountpoint -q " + d + " || { for i in $(seq 50); do umount " + d +
           " 2>/dev/null && exit 0; sleep 0.1; done; fuser -vm " + d + "; umount " + d + "; }";
}

} // namespace

bool mount_medium(const std::string& unix_dir, uint64_t bytes)
{
    const std::string d = quote(unix_dir);
    return host_command("mkdir -p " + d + " && (" + unmount_command(d) +
                        ") && mount -t tmpfs -o size=" + std::to_string(bytes) + " tmpfs " + d);
}

bool unmount_medium(const std::string& unix_dir)
{
    return host_command(unmount_command(quote(unix_dir)));
}

std::string test_folder(const std::string& name)
{
    const std::string dir = data_dir() + "/" + name;
    const std::string d = quote(dir);
    host_command("mkdir -p " + d + " && find " + d + " -mindepth 1 -delete");
    return dir;
}

bool write_file(const std::string& windows_file, const std::string& bytes)
{
    HANDLE f = CreateFileA(windows_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    size_t done = 0;
    bool ok = true;
    while (ok && done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1 << 20));
        DWORD written = 0;
        ok = WriteFile(f, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    CloseHandle(f);
    return ok;
}

bool read_file(const std::string& windows_file, std::string& bytes)
{
    HANDLE f = CreateFileA(windows_file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    bytes.clear();
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ReadFile(f, buffer, sizeof buffer, &got, nullptr)) && got > 0)
        bytes.append(buffer, got);
    CloseHandle(f);
    return ok;
}

bool file_exists(const std::string& windows_file)
{
    return GetFileAttributesA(windows_file.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string random_bytes(size_t size, uint32_t seed)
{
    std::string out(size, '\0');
    uint32_t x = seed ? seed : 1;
    for (size_t i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out[i] = static_cast<char>(x >> 24);
    }
    return out;
}

void screenshot(const std::string& png_name)
{
    // The program lives on the prefix's 1024x768 virtual desktop in the top left corner.
    host_command("xwd -root -silent | convert xwd:- -crop 1024x768+0+0 +repage " +
                 quote(build_dir() + "/" + png_name));
}

COLORREF ScreenArea::at(int x, int y) const
{
    const size_t i = (size_t(y - top) * size_t(width) + size_t(x - left)) * 3;
    return RGB(uint8_t(rgb[i]), uint8_t(rgb[i + 1]), uint8_t(rgb[i + 2]));
}

bool read_screen(const std::string& png_name, int left, int top, int width, int height,
                 ScreenArea& area)
{
    screenshot(png_name);
    const std::string raw = data_dir() + "/screen-area.rgb";
    if (!host_command("mkdir -p " + quote(data_dir()) + " && convert " +
                      quote(build_dir() + "/" + png_name) + " -crop " + std::to_string(width) +
                      "x" + std::to_string(height) + "+" + std::to_string(left) + "+" +
                      std::to_string(top) + " +repage -depth 8 rgb:" + quote(raw)))
        return false;
    area = {left, top, width, height, ""};
    return read_file(windows_path(raw), area.rgb) &&
           area.rgb.size() == size_t(width) * size_t(height) * 3;
}

// --- windows of any process ----------------------------------------------------------------

std::string window_text(HWND window)
{
    char text[4096] = "";
    DWORD_PTR length = 0;
    // A hung program must not hang the test.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 2000, &length);
    return std::string(text);
}

std::string class_name(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (GetTickCount() - start >= timeout_ms)
            return false;
        Sleep(kPollStep);
    }
}

namespace {

// The thread's suspend count as the kernel keeps it (ThreadSuspendCount, 35), read without
// touching the thread. Wine answers it; false where the query is not known.
bool read_suspend_count(DWORD thread_id, ULONG& count)
{
    using Query = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    static const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationThread")));
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, thread_id);
    if (!thread)
        return false;
    const bool ok = query && query(thread, 35, &count, sizeof count, nullptr) == 0;
    CloseHandle(thread);
    return ok;
}

} // namespace

// Suspending a thread to learn its count would race with the program's own resume: a job
// command that resumes the worker in that moment finds it still suspended, and waits in
// vain for its pass to begin.
bool has_suspended_thread(DWORD pid, DWORD except_thread_id)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return false;
    bool found = false;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more && !found;
         more = Thread32Next(snapshot, &entry)) {
        ULONG count = 0;
        found = entry.th32OwnerProcessID == pid && entry.th32ThreadID != except_thread_id &&
                read_suspend_count(entry.th32ThreadID, count) && count >= 1;
    }
    CloseHandle(snapshot);
    return found;
}

Watchdog::Watchdog(const std::string& what, DWORD limit_ms)
    : what_(what), limit_ms_(limit_ms), disarmed_(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
    thread_ = CreateThread(nullptr, 0, watch, this, 0, nullptr);
}

Watchdog::~Watchdog()
{
    SetEvent(disarmed_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    CloseHandle(disarmed_);
}

DWORD WINAPI Watchdog::watch(void* self)
{
    const auto* dog = static_cast<const Watchdog*>(self);
    if (WaitForSingleObject(dog->disarmed_, dog->limit_ms_) != WAIT_TIMEOUT)
        return 0;
    std::fprintf(stderr, "test gave up: %s within %lu ms\n", dog->what_.c_str(),
                 static_cast<unsigned long>(dog->limit_ms_));
    std::fflush(stderr);
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

Box read_box(HWND window, bool read_icon)
{
    Box box;
    box.window = window;
    box.caption = window_text(window);
    if (HWND text = GetDlgItem(window, kMessageTextId))
        box.text = window_text(text);
    EnumChildWindows(window, collect_button, reinterpret_cast<LPARAM>(&box));
    box.owner = GetWindow(window, GW_OWNER);
    if (read_icon)
        read_icon_kind(box);
    return box;
}

std::string Box::describe() const
{
    std::string out = "[" + caption + "] \"" + text + "\" buttons:";
    for (const auto& b : buttons)
        out += " <" + b + ">";
    out += error_icon ? " icon:error" : information_icon ? " icon:information" : " icon:none";
    return out;
}

// --- the program ---------------------------------------------------------------------------

Program::~Program()
{
    kill();
}

bool Program::start(int show_command, DWORD timeout_ms, const BeforeRun& before_run,
                    const std::string& unix_exe)
{
    if (unix_exe.empty() && !prepare_program())
        return false;
    std::string exe = windows_path(unix_exe.empty() ? program_path() : unix_exe);
    std::string line = "\"" + exe + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(show_command);
    const DWORD flags = before_run ? CREATE_SUSPENDED : 0;
    if (!CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr,
                        &si, &info_))
        return false;
    if (before_run) {
        if (!before_run(info_)) {
            kill();
            return false;
        }
        ResumeThread(info_.hThread);
    }
    if (!wait_until(
            [&] {
                auto mains = top_level_windows(info_.dwProcessId, "SLIVERDISKMAIN");
                main_ = mains.empty() ? nullptr : mains.front();
                return main_ != nullptr;
            },
            timeout_ms))
        return false;
    WindowsVersion expected, seen;
    if (!unix_exe.empty() || !expected_windows_version(expected))
        return true;
    // A key that did not take would run the whole case under Wine's default unnoticed.
    if (reported_windows_version(info_.hProcess, seen) && seen.major == expected.major &&
        seen.minor == expected.minor && seen.platform == expected.platform)
        return true;
    std::fprintf(stderr, "ui_driver: the program was told Windows %lu.%lu, platform %lu, not %s\n",
                 static_cast<unsigned long>(seen.major), static_cast<unsigned long>(seen.minor),
                 static_cast<unsigned long>(seen.platform), run_setting().windows.c_str());
    return false;
}

bool Program::running() const
{
    return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool Program::idle() const
{
    return has_suspended_thread(info_.dwProcessId, info_.dwThreadId);
}

bool Program::wait_idle(DWORD timeout_ms) const
{
    return wait_until([&] { return idle(); }, timeout_ms);
}

std::string Program::title() const
{
    return window_text(main_);
}

void Program::command(UINT id)
{
    PostMessageA(main_, WM_COMMAND, id, 0);
}

void Program::close()
{
    PostMessageA(main_, WM_CLOSE, 0, 0);
}

bool Program::wait_title(const std::string& expected, DWORD timeout_ms)
{
    return wait_until([&] { return title() == expected; }, timeout_ms);
}

// The main thread takes a paint message only when no posted message waits in its queue,
// also inside the information windows' wait: once a repaint asked for now is done, whatever
// was posted before has been handled or thrown away.
bool Program::wait_messages_handled(DWORD timeout_ms)
{
    // A window that is gone has no update region either: that is no answer.
    InvalidateRect(main_, nullptr, FALSE);
    return wait_until([&] { return !GetUpdateRect(main_, nullptr, FALSE); }, timeout_ms) &&
           IsWindow(main_);
}

DWORD Program::wait_exit(DWORD timeout_ms)
{
    if (!info_.hProcess)
        return STILL_ACTIVE;
    if (WaitForSingleObject(info_.hProcess, timeout_ms) != WAIT_OBJECT_0)
        return STILL_ACTIVE;
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

void Program::kill()
{
    if (info_.hProcess) {
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(info_.hProcess, 99);
            WaitForSingleObject(info_.hProcess, 5000);
        }
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
    info_ = {};
    main_ = nullptr;
}

std::vector<HWND> Program::windows(const char* class_name) const
{
    return top_level_windows(info_.dwProcessId, class_name);
}

HWND Program::wait_dialog(const std::string& title, DWORD timeout_ms)
{
    HWND found = nullptr;
    wait_until(
        [&] {
            for (HWND d : dialogs()) {
                if (title.empty() || window_text(d) == title) {
                    found = d;
                    return true;
                }
            }
            return false;
        },
        timeout_ms);
    return found;
}

bool Program::wait_box(Box& box, DWORD timeout_ms, bool read_icon)
{
    // The icon is read from the screen, where another run's box may cover this one.
    read_icon = read_icon && run_setting().own_display;
    return wait_until(
        [&] {
            for (HWND d : dialogs()) {
                if (GetDlgItem(d, kMessageTextId)) {
                    box = read_box(d, read_icon);
                    // The icon is read from the display, which under Wine on a virtual
                    // display sometimes misses a window's first painting: ask the box to
                    // paint itself again until its icon shows.
                    if (read_icon)
                        wait_until([&] {
                            box = read_box(d, true);
                            if (box.error_icon || box.information_icon)
                                return true;
                            RedrawWindow(d, nullptr, nullptr,
                                         RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
                            return false;
                        }, 3000);
                    return true;
                }
            }
            return false;
        },
        timeout_ms);
}

void Program::answer(const Box& box, int button_id)
{
    log_.push_back(box);
    PostMessageA(box.window, WM_COMMAND, static_cast<WPARAM>(button_id), 0);
    wait_until([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, 5000);
}

bool Program::wait_no_dialog(DWORD timeout_ms)
{
    return wait_until([&] { return dialogs().empty(); }, timeout_ms);
}

HWND Program::progress_window() const
{
    HWND progress = FindWindowExA(main_, nullptr, "SLIVERDISKMSG", nullptr);
    return progress && IsWindowVisible(progress) ? progress : nullptr;
}

bool Program::press_key(WORD key)
{
    INPUT input[2] = {};
    input[0].type = input[1].type = INPUT_KEYBOARD;
    input[0].ki.wVk = input[1].ki.wVk = key;
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    return SendInput(2, input, sizeof(INPUT)) == 2;
}

bool Program::post_key(HWND window, WORD key)
{
    return PostMessageA(window, WM_KEYDOWN, key, 1) &&
           PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

bool Program::choose_file(const std::string& chooser_title, const std::string& path,
                          DWORD timeout_ms, const std::function<void(HWND)>& before_confirm)
{
    HWND chooser = wait_dialog(chooser_title, timeout_ms);
    if (!chooser)
        return false;
    SetDlgItemTextA(chooser, kChooserNameId, path.c_str());
    if (before_confirm)
        before_confirm(chooser);
    PostMessageA(chooser, WM_COMMAND, IDOK, 0);
    return wait_until([&] { return !IsWindow(chooser) || !IsWindowVisible(chooser); }, timeout_ms);
}

bool Program::cancel_chooser(const std::string& chooser_title, DWORD timeout_ms)
{
    HWND chooser = wait_dialog(chooser_title, timeout_ms);
    if (!chooser)
        return false;
    PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
    return wait_until([&] { return !IsWindow(chooser) || !IsWindowVisible(chooser); }, timeout_ms);
}

std::string Program::chooser_file_name(HWND chooser) const
{
    return window_text(GetDlgItem(chooser, kChooserNameId));
}

} // namespace drv
