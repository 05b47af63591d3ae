// The real main window and menu, in-process (another process's menu cannot be read under
// Wine): start-up state, what each menu item does, the Media marks, titles and folders, the
// drive search, the start-up failure boxes.
#include <doctest.h>

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "driver/ui_driver.h"
#include "engine/chooser_state.h"
#include "resources/resource.h"
#include "shell/copy_worker.h"
#include "shell/media_selection.h"
#include "shell/program_state.h"
#include "shell/startup.h"

namespace {

const UINT kMediaItems[] = {IDM_MEDIA_FLOPPY, IDM_MEDIA_ZIP, IDM_MEDIA_JAZ, IDM_MEDIA_CUSTOM};

// Start-up runs once for the whole program, as in a real run.
void ensure_started()
{
    static bool started = false;
    if (!started) {
        REQUIRE(run_startup(GetModuleHandleA(nullptr)) == kStartupOk);
        started = true;
    }
}

std::string title()
{
    char text[256] = "";
    GetWindowTextA(g_program.main_window, text, sizeof text);
    return text;
}

std::string checked_items()
{
    std::string out;
    for (UINT id : kMediaItems) {
        if (GetMenuState(g_program.main_menu, id, MF_BYCOMMAND) & MF_CHECKED)
            out += std::to_string(id) + " ";
    }
    return out;
}

void command(UINT id)
{
    SendMessageA(g_program.main_window, WM_COMMAND, id, 0);
}

// Runs Custom on this (the main) thread while another thread answers the input box.
void custom_with(const char* typed, int button)
{
    drv::Watchdog guard("the input box showing and closing");
    std::thread answer([=] {
        HWND box = nullptr;
        // Visible only once its initialisation has filled the edit.
        drv::wait_until([&] {
            box = FindWindowA("#32770", "Input Box");
            return box && IsWindowVisible(box);
        });
        if (!box)
            return;
        if (typed)
            SetDlgItemTextA(box, IDC_INPUT_EDIT, typed);
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    });
    command(IDM_MEDIA_CUSTOM);
    answer.join();
}

// The id of the item of a menu bar's pop-up that shows this text, or 0.
UINT item_with_text(const std::string& text)
{
    for (int m = 0; m < GetMenuItemCount(g_program.main_menu); ++m) {
        HMENU popup = GetSubMenu(g_program.main_menu, m);
        for (int i = 0; i < GetMenuItemCount(popup); ++i) {
            char shown[128] = "";
            GetMenuStringA(popup, i, shown, sizeof shown, MF_BYPOSITION);
            if (shown == text)
                return GetMenuItemID(popup, i);
        }
    }
    return 0;
}

BOOL CALLBACK find_opened(HWND window, LPARAM found)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() && window != g_program.main_window && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

// Gives a command and returns the title of the window it opens, closing that window as a
// user does: a job's chooser (on the copy worker) cancelled, an information window clicked.
std::string title_of_window_opened_by(UINT id)
{
    drv::Watchdog guard("a window opened by command " + std::to_string(id) + " and closed");
    std::atomic<bool> closed{false};
    std::string title;
    std::thread closer([&] {
        HWND opened = nullptr;
        if (drv::wait_until([&] { return !EnumWindows(find_opened, LPARAM(&opened)) && opened; })) {
            title = drv::window_text(opened);
            if (drv::class_name(opened) == "#32770")
                PostMessageA(opened, WM_COMMAND, IDCANCEL, 0);
            else
                PostMessageA(opened, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 20));
        }
        closed = true;
    });
    command(id);
    // The chooser is owned by the main window: its thread keeps serving messages.
    while (!closed || copy_worker_busy()) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(5);
    }
    closer.join();
    return title;
}

} // namespace

TEST_CASE("start-up state: Floppy marked alone, capacity and folders at their first values")
{
    ensure_started();
    CHECK(title() == "Sliverdisk Utility - Media: Floppy");
    CHECK(checked_items() == std::to_string(IDM_MEDIA_FLOPPY) + " ");
    CHECK(media_capacity() == 1400000u);
    CHECK(std::string(media_folder()) == "A:\\");
    CHECK(std::string(work_folder()) == "C:\\");
    CHECK(g_program.transfer_buffer != nullptr);
    // Committed in one piece, from a page boundary: reads past the file cache need it.
    MEMORY_BASIC_INFORMATION region = {};
    REQUIRE(VirtualQuery(g_program.transfer_buffer, &region, sizeof region) == sizeof region);
    CHECK(region.BaseAddress == g_program.transfer_buffer);
    CHECK(region.State == MEM_COMMIT);
    CHECK(region.RegionSize >= 131072u + 256u);
}

TEST_CASE("the File and Info items open what their texts name")
{
    ensure_started();
    const std::pair<std::string, std::string> opens[] = {
        {"&Copy To Multiple Floppies", "Copy To Floppies: Select Source File"},
        {"&Re-Assemble From Multiple Floppies", "Copy From Floppies: Select Source File"},
        {"How To Use", "Instructions..."},
        {"&About", "About"}};
    for (const auto& [text, title] : opens) {
        CAPTURE(text);
        const UINT id = item_with_text(text);
        REQUIRE(id != 0);
        CHECK(title_of_window_opened_by(id) == title);
    }
}

TEST_CASE("each Media item sets the capacity and title its text names and alone carries the mark, also when repeated")
{
    ensure_started();
    struct Choice { std::string text; uint32_t capacity; std::string title; };
    const Choice choices[] = {
        {"&Zip\t[100 mb]", 98000000u, "Sliverdisk Utility - Media: Zip"},
        {"&Jaz\t[1 gb]", 1000000000u, "Sliverdisk Utility - Media: Jaz"},
        {"&Floppy\t[1.4 mb]", 1400000u, "Sliverdisk Utility - Media: Floppy"},
    };
    for (int round = 0; round < 2; ++round) {
        for (const Choice& c : choices) {
            const UINT id = item_with_text(c.text);
            for (int twice = 0; twice < 2; ++twice) {
                CAPTURE(c.text);
                command(id);
                CHECK(media_capacity() == c.capacity);
                CHECK(title() == c.title);
                CHECK(checked_items() == std::to_string(id) + " ");
            }
        }
    }
}

TEST_CASE("Custom: confirmed texts set the capacity; Cancel and an empty OK keep it but move the mark")
{
    ensure_started();
    command(IDM_MEDIA_FLOPPY);

    custom_with(nullptr, IDCANCEL);
    CHECK(media_capacity() == 1400000u);
    CHECK(title() == "Sliverdisk Utility - Media: Custom [1,400,000 Bytes]");
    CHECK(checked_items() == std::to_string(IDM_MEDIA_CUSTOM) + " ");

    custom_with("65536", IDOK);
    CHECK(media_capacity() == 65536u);
    CHECK(title() == "Sliverdisk Utility - Media: Custom [65,536 Bytes]");

    custom_with("", IDOK);
    CHECK(media_capacity() == 65536u);
    CHECK(title() == "Sliverdisk Utility - Media: Custom [65,536 Bytes]");

    custom_with("0", IDOK);
    CHECK(media_capacity() == 0u);
    CHECK(title() == "Sliverdisk Utility - Media: Custom [0 Bytes]");
    CHECK(checked_items() == std::to_string(IDM_MEDIA_CUSTOM) + " ");

    command(IDM_MEDIA_FLOPPY);
    CHECK(checked_items() == std::to_string(IDM_MEDIA_FLOPPY) + " ");
}

TEST_CASE("removable-drive search on real drives: floppies at A: and F: send the media folder to F:")
{
    // A:, B:, F: and G: are the test prefix's floppy drives; one without a folder is an
    // empty floppy drive, still removable. Here A: and F: have disks in them.
    ensure_started();
    REQUIRE(drv::set_drive('A', drv::test_folder("drive-search/a")));
    REQUIRE(drv::set_drive('F', drv::test_folder("drive-search/f")));
    REQUIRE(GetDriveTypeA("A:\\") == DRIVE_REMOVABLE);
    REQUIRE(GetDriveTypeA("F:\\") == DRIVE_REMOVABLE);
    command(IDM_MEDIA_FLOPPY);
    CHECK(std::string(media_folder()) == "A:\\");
    command(IDM_MEDIA_ZIP);
    CHECK(std::string(media_folder()) == "F:\\");
    // Floppy puts it back to A: without searching; Jaz and Custom search again.
    command(IDM_MEDIA_FLOPPY);
    CHECK(std::string(media_folder()) == "A:\\");
    command(IDM_MEDIA_JAZ);
    CHECK(std::string(media_folder()) == "F:\\");
    command(IDM_MEDIA_FLOPPY);
    custom_with(nullptr, IDCANCEL);
    CHECK(std::string(media_folder()) == "F:\\");
    command(IDM_MEDIA_FLOPPY);
}

TEST_CASE("start-up failures are reported with their string-table text in an ownerless error box")
{
    ensure_started();
    const std::pair<int, const char*> failures[] = {
        {kStartupClassFailed, "Error Registering Window Class!"},
        {kStartupWindowFailed, "Window Creation Failed!"},
        {kStartupWorkerFailed, "Initialization Error... Application Can Not Run!"},
        {kStartupMemoryFailed, "Memory Allocation Error!"},
    };
    for (const auto& [code, text] : failures) {
        CAPTURE(code);
        drv::Box seen;
        drv::Watchdog guard("the start-up failure box showing and closing");
        std::thread answer([&] {
            HWND box = nullptr;
            drv::wait_until([&] {
                box = FindWindowA("#32770", "Error");
                return box && IsWindowVisible(box);
            });
            if (!box)
                return;
            seen = drv::read_box(box, false);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        });
        report_startup_failure(code);
        answer.join();
        CHECK(seen.text == text);
        CHECK(seen.owner == nullptr);
        CHECK(seen.buttons == std::vector<std::string>{"OK"});
    }
}
