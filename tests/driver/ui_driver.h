// Black-box driver for the real sliverdisk.exe, used by the UI tests (run under Wine).
//
// Build env:   every host command and drive change acts on the build folder and its Wine
//              prefix; run without the environment tools/test.sh gives (SLIVERDISK_BUILD_DIR,
//              and WINEPREFIX inside it) the driver refuses, before it touches anything.
// Host side:   host_command runs a /bin/sh command line on the Linux host (Wine starts
//              Unix programs) and waits for it; set_drive / remove_drive point a drive
//              letter at a host folder or take its folder away. A:, B:, F: and G: are
//              floppy drives (removable) for the whole run, with or without a folder: an
//              empty floppy drive, like a real one; other letters read as fixed disks; mount_medium makes a tmpfs of a
//              given size (a medium of real capacity). Medium and Cleanup undo a mount or
//              any other step when the test's scope ends, passed or failed.
// Program:     Program starts the executable (optionally with a step while it is still
//              suspended), finds its main window by class, sends menu commands, tells
//              whether a job runs (from the worker's suspend count) and when every message
//              posted so far has been handled, reads the title and placement, finds choosers
//              and message boxes, answers them and records every box it answered, in order.
//              Its destructor ends the process, so every test ends what it started.
// Run setting: a run may have Wine report an older Windows to the program (run_setting,
//              from SLIVERDISK_WINDOWS). Such runs go side by side, so each keeps to its own
//              copy of the program, drive letter and folders, and none reads the screen.
// Every wait polls with a short step and gives up after its timeout; a modal call made in
// the test's own process is guarded by a Watchdog.
#ifndef SLIVERDISK_UI_DRIVER_H
#define SLIVERDISK_UI_DRIVER_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace drv {

constexpr DWORD kDefaultTimeout = 15000;

// --- the run's setting ------------------------------------------------------------------
// Wine reports the Windows version named in HKCU\Software\Wine\AppDefaults\<file name>,
// value Version, to every program of that file name. A run under SLIVERDISK_WINDOWS (win95,
// win98, nt40 or winxp) therefore starts a copy of the build's program of its own,
// sliverdisk-<version>.exe, whose key it sets, and checks that the program sees that version.
// Those runs go in parallel with each other on one display: each has a drive letter and a
// folder under build/test-data of its own, and none reads the screen, where another run's
// windows may lie over its own. Without the variable: Wine's default, the build's own
// program, drive B:, and the run has the display to itself.
struct RunSetting {
    std::string windows;      // Wine's name of the version; empty for Wine's default
    char drive = 'B';         // the floppy drive this run's media go in
    bool own_display = true;  // no other run's windows can cover this run's
};
const RunSetting& run_setting();
std::string program_path();   // Unix path of the program this run starts
// The version Wine reports to a running program, as its process environment block holds it
// (which is where the program's own version calls read it).
struct WindowsVersion {
    DWORD major = 0, minor = 0, platform = 0;
};
bool reported_windows_version(HANDLE process, WindowsVersion& version);
// What the run's setting must report; false for Wine's default, which pins no version.
bool expected_windows_version(WindowsVersion& version);

// --- host side ---------------------------------------------------------------------
std::string build_dir();                       // Unix path of the build folder
std::string windows_path(const std::string& unix_path);  // /x/y -> Z:\x\y
bool host_command(const std::string& command, DWORD timeout_ms = 60000);
std::string shell_quote(const std::string& text);  // one word for host_command
bool set_drive(char letter, const std::string& unix_dir);
bool remove_drive(char letter);
// Declares a removable drive through Wine's mount manager, which only knows the types of
// letters that existed when it started (a new link alone reads as a fixed disk); and
// removes a drive declared that way.
bool define_removable_drive(char letter, const std::string& unix_dir);
bool undefine_drive(char letter);
bool mount_medium(const std::string& unix_dir, uint64_t bytes);  // tmpfs, emptied
bool unmount_medium(const std::string& unix_dir);

// Runs an action when the scope ends, however it ends: a failed REQUIRE throws past the
// lines after it, and what a test set up (a mount, a big file) must go all the same.
class Cleanup {
public:
    explicit Cleanup(std::function<void()> action) : action_(std::move(action)) {}
    ~Cleanup()
    {
        if (action_)
            action_();
    }
    Cleanup(const Cleanup&) = delete;
    Cleanup& operator=(const Cleanup&) = delete;

private:
    std::function<void()> action_;
};

// A tmpfs medium of real capacity, unmounted when the object goes. Made before the
// Program that uses it, so the program has ended (and let go of its files) by then.
class Medium {
public:
    Medium(const std::string& unix_dir, uint64_t bytes)
        : dir_(unix_dir), mounted_(mount_medium(unix_dir, bytes)) {}
    ~Medium() { unmount_medium(dir_); }
    Medium(const Medium&) = delete;
    Medium& operator=(const Medium&) = delete;
    bool mounted() const { return mounted_; }

private:
    std::string dir_;
    bool mounted_;
};
// A fresh empty Unix folder under build/test-data (under the run's own folder there, for a
// run under an older Windows).
std::string test_folder(const std::string& name);
bool write_file(const std::string& windows_file, const std::string& bytes);
bool read_file(const std::string& windows_file, std::string& bytes);
bool file_exists(const std::string& windows_file);
std::string random_bytes(size_t size, uint32_t seed);
void screenshot(const std::string& png_name);  // whole display into the build folder
// A screen area as the display shows it, 3 bytes per pixel, cut from a new screenshot.
struct ScreenArea {
    int left = 0, top = 0, width = 0, height = 0;
    std::string rgb;
    COLORREF at(int x, int y) const;  // screen coordinates
    bool black(int x, int y) const { return at(x, y) == RGB(0, 0, 0); }
};
bool read_screen(const std::string& png_name, int left, int top, int width, int height,
                 ScreenArea& area);

// --- windows of any process ----------------------------------------------------------
std::string window_text(HWND window);
std::string class_name(HWND window);
bool wait_until(const std::function<bool()>& condition, DWORD timeout_ms = kDefaultTimeout);
// Whether a thread of the process other than the given one is suspended; the count is read,
// the thread is not touched.
bool has_suspended_thread(DWORD pid, DWORD except_thread_id);

// A limit of its own for a wait that cannot be polled: a modal call (a dialog box, a message
// box, a window that waits for a click) returns only once another thread answers it. Still
// armed when its time is up, the watchdog says what did not happen and ends the test program,
// long before CTest's limit would. Disarmed when it goes out of scope.
class Watchdog {
public:
    Watchdog(const std::string& what, DWORD limit_ms = 2 * kDefaultTimeout);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    static DWORD WINAPI watch(void* self);
    std::string what_;
    DWORD limit_ms_;
    HANDLE disarmed_;
    HANDLE thread_ = nullptr;
};

// A message box or other dialog as the user sees it.
struct Box {
    HWND window = nullptr;
    std::string caption;
    std::string text;            // the message text (message boxes)
    std::vector<std::string> buttons;  // texts of the visible buttons, in tab order
    HWND owner = nullptr;
    bool error_icon = false;     // the icon shown is the system's error icon
    bool information_icon = false;
    bool is_message_box() const { return !text.empty() || !buttons.empty(); }
    std::string describe() const;  // "caption | text | buttons" for failure messages
};
Box read_box(HWND box, bool read_icon = true);

class Program {
public:
    Program() = default;
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Runs in the test while the new process is still suspended, before its first
    // instruction (to load a library into it); false ends the process and the start fails.
    using BeforeRun = std::function<bool(const PROCESS_INFORMATION&)>;

    // Starts the run's program (program_path(), or the one at a Unix path) with the given
    // show command and waits for its main window; in a run under an older Windows, also
    // until the program is seen to be told that version.
    bool start(int show_command = SW_SHOWNORMAL, DWORD timeout_ms = kDefaultTimeout,
               const BeforeRun& before_run = nullptr, const std::string& unix_exe = "");
    HWND main_window() const { return main_; }
    DWORD process_id() const { return info_.dwProcessId; }
    HANDLE process() const { return info_.hProcess; }
    bool running() const;
    // The copy worker has suspended itself: no job runs and the menu takes commands.
    bool idle() const;
    bool wait_idle(DWORD timeout_ms = kDefaultTimeout) const;
    // Every message posted to the program before the call has been handled.
    bool wait_messages_handled(DWORD timeout_ms = kDefaultTimeout);

    std::string title() const;
    void command(UINT id);               // posts WM_COMMAND with the id, as the menu does
    void close();                        // posts WM_CLOSE, as the close box does
    bool wait_title(const std::string& expected, DWORD timeout_ms = kDefaultTimeout);
    // Waits for the process to end; returns its exit code or STILL_ACTIVE on timeout.
    DWORD wait_exit(DWORD timeout_ms = kDefaultTimeout);
    void kill();

    // Visible top-level windows of the process of a class; dialogs (#32770).
    std::vector<HWND> windows(const char* class_name) const;
    std::vector<HWND> dialogs() const { return windows("#32770"); }
    // Waits for a visible dialog; with a title, only one of that title.
    HWND wait_dialog(const std::string& title = "", DWORD timeout_ms = kDefaultTimeout);
    // Waits for a message box (a dialog with a message text) and reads it. Reading the icon
    // waits for the box to paint (about 0.1 s); timing runs can skip it, and a run that
    // shares the display never reads it.
    bool wait_box(Box& box, DWORD timeout_ms = kDefaultTimeout, bool read_icon = true);
    // Presses a button of a dialog (IDOK, IDCANCEL, ...), records the box when it is one.
    void answer(const Box& box, int button_id);
    // Waits until no dialog of the process is visible.
    bool wait_no_dialog(DWORD timeout_ms = kDefaultTimeout);

    // The progress window, a child of the main window, while it is shown; otherwise null.
    HWND progress_window() const;
    // A key pressed and released as a user does: injected into the system's input, so it
    // reaches whichever window has the keyboard focus (a job gives it to its progress window).
    bool press_key(WORD key);
    // A key-down and key-up posted to one window's queue, past the system's input: for runs
    // that share the display, and so the keyboard, with others.
    bool post_key(HWND window, WORD key);

    // Choosers: types a path into the file-name field and confirms, or cancels. A hook
    // sees the chooser with the path typed, before it is confirmed.
    bool choose_file(const std::string& chooser_title, const std::string& path,
                     DWORD timeout_ms = kDefaultTimeout,
                     const std::function<void(HWND)>& before_confirm = {});
    bool cancel_chooser(const std::string& chooser_title, DWORD timeout_ms = kDefaultTimeout);
    std::string chooser_file_name(HWND chooser) const;   // text of the file-name field

    const std::vector<Box>& box_log() const { return log_; }
    void clear_box_log() { log_.clear(); }

private:
    PROCESS_INFORMATION info_ = {};
    HWND main_ = nullptr;
    std::vector<Box> log_;
};

} // namespace drv

#endif
