// The real main window and menu, in-process (another process's menu cannot be read under
// Wine): start-up state, the Media commands' marks, titles and folders, the drive search.
#include <doctest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "driver/ui_driver.h"
#include "engine/chooser_state.h"
#include "resources/resource.h"
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
    std::thread answer([=] {
        HWND box = nullptr;
        // Visible only once its initialisation has filled the edit.
        drv::wait_until([&] {
            box = FindWindowA("#32770", "Input Box");
            return box && IsWindowVisible(box);
        }, 10000);
        if (!box)
            return;
        if (typed)
            SetDlgItemTextA(box, IDC_INPUT_EDIT, typed);
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(button), 0);
    });
    command(IDM_MEDIA_CUSTOM);
    answer.join();
}

std::string menu_text(HMENU menu, UINT position)
{
    char text[128] = "";
    GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
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

TEST_CASE("the menu has the texts and ids of the resource, in order")
{
    ensure_started();
    HMENU menu = g_program.main_menu;
    REQUIRE(GetMenuItemCount(menu) == 3);
    CHECK(menu_text(menu, 0) == "&File");
    CHECK(menu_text(menu, 1) == "&Media");
    CHECK(menu_text(menu, 2) == "&Info");

    struct Item { UINT id; const char* text; };
    const Item file[] = {{IDM_COPY_TO_FLOPPIES, "&Copy To Multiple Floppies"},
                         {IDM_REASSEMBLE, "&Re-Assemble From Multiple Floppies"},
                         {0, ""},
                         {IDM_EXIT, "E&xit"}};
    const Item media[] = {{IDM_MEDIA_FLOPPY, "&Floppy\t[1.4 mb]"},
                          {IDM_MEDIA_ZIP, "&Zip\t[100 mb]"},
                          {IDM_MEDIA_JAZ, "&Jaz\t[1 gb]"},
                          {IDM_MEDIA_CUSTOM, "&Custom"}};
    const Item info[] = {{IDM_HOW_TO_USE, "How To Use"}, {0, ""}, {IDM_ABOUT, "&About"}};
    auto check_popup = [](HMENU popup, const Item* items, int count) {
        REQUIRE(GetMenuItemCount(popup) == count);
        for (int i = 0; i < count; ++i) {
            CAPTURE(i);
            if (items[i].id == 0) {
                CHECK((GetMenuState(popup, i, MF_BYPOSITION) & MF_SEPARATOR) != 0);
            } else {
                CHECK(GetMenuItemID(popup, i) == items[i].id);
                CHECK(menu_text(popup, i) == items[i].text);
            }
        }
    };
    check_popup(GetSubMenu(menu, 0), file, 4);
    check_popup(GetSubMenu(menu, 1), media, 4);
    check_popup(GetSubMenu(menu, 2), info, 3);
}

TEST_CASE("each Media command sets capacity, title and exactly one mark, also when repeated")
{
    ensure_started();
    struct Choice { UINT id; uint32_t capacity; const char* title; };
    const Choice choices[] = {
        {IDM_MEDIA_ZIP, 98000000u, "Sliverdisk Utility - Media: Zip"},
        {IDM_MEDIA_JAZ, 1000000000u, "Sliverdisk Utility - Media: Jaz"},
        {IDM_MEDIA_FLOPPY, 1400000u, "Sliverdisk Utility - Media: Floppy"},
    };
    for (int round = 0; round < 2; ++round) {
        for (const Choice& c : choices) {
            for (int twice = 0; twice < 2; ++twice) {
                CAPTURE(c.id);
                command(c.id);
                CHECK(media_capacity() == c.capacity);
                CHECK(title() == c.title);
                CHECK(checked_items() == std::to_string(c.id) + " ");
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
        std::thread answer([&] {
            HWND box = nullptr;
            drv::wait_until([&] {
                box = FindWindowA("#32770", "Error");
                return box && IsWindowVisible(box);
            }, 10000);
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
