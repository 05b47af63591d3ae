// The one dialog record both choosers share, as the platform receives it: the 76-byte form,
// the owner, the folder, the title and the default extension.
#include <doctest.h>

#include <windows.h>

#include <string>
#include <thread>

#include "driver/ui_driver.h"
#include "engine/chooser_state.h"
#include "engine/file_choosers.h"
#include "engine/piece_set.h"
#include "shell/program_state.h"
#include "shell/startup.h"

namespace {
// Runs a chooser on this thread and cancels it from another once it shows. The chooser is
// modal: if it never shows or the cancel does not end it, the watchdog ends the program.
void run_cancelled(bool open, const char* title)
{
    drv::Watchdog guard(std::string("the chooser \"") + title + "\" showing and closing");
    bool shown = false;
    std::thread canceller([&] {
        HWND chooser = nullptr;
        shown = drv::wait_until([&] {
            chooser = FindWindowA("#32770", title);
            return chooser && IsWindowVisible(chooser);
        });
        if (shown)
            PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
    });
    char chosen[kPathTextSize] = "";
    const bool confirmed = open ? choose_file_to_read(title, ChooserFolder::work, chosen)
                                : choose_file_to_write(title, ChooserFolder::media, "NAME.TXT",
                                                       chosen);
    canceller.join();
    CHECK(shown);
    CHECK_FALSE(confirmed);
}
}  // namespace

// The flags and the filter text are fixed where they are defined; their effect (a name that
// is not there refused, the question before replacing a file) is seen in the UI tests.
TEST_CASE("chooser record: 76-byte form, owner, folder, title, name and default extension")
{
    REQUIRE(run_startup(GetModuleHandleA(nullptr)) == kStartupOk);
    const OPENFILENAMEA& r = last_chooser_record();

    run_cancelled(true, "Open Title");
    CHECK(r.lStructSize == OPENFILENAME_SIZE_VERSION_400A);
    CHECK(r.hwndOwner == g_program.main_window);
    CHECK(r.nMaxFile == 260u);
    CHECK(std::string(r.lpstrInitialDir) == "C:\\");
    CHECK(std::string(r.lpstrTitle) == "Open Title");
    CHECK(r.lpstrDefExt == nullptr);  // "*.*" is no extension
    CHECK(r.lpstrCustomFilter == nullptr);
    CHECK(r.lpstrFileTitle == nullptr);
    CHECK(r.hInstance == nullptr);
    // A cancelled open chooser keeps the (empty) name and empties the type filter.
    CHECK(std::string(remembered_file_name()).empty());
    CHECK(std::string(remembered_type_filter()).empty());

    run_cancelled(false, "Save Title");
    CHECK(r.lStructSize == OPENFILENAME_SIZE_VERSION_400A);
    CHECK(std::string(r.lpstrFile) == "NAME.TXT");
    CHECK(std::string(r.lpstrInitialDir) == "A:\\");
    CHECK(std::string(r.lpstrTitle) == "Save Title");

    // The extension offset of a chosen name, as each platform reports it, and the default
    // extension the next chooser then gets: none for BACKUP, so no "BACKUP.P" is made of it.
    struct Offset {
        const char* path;
        unsigned extension;
        const char* expected;
    };
    for (const Offset& o : {Offset{"C:\\DATA\\BACKUP", 0, nullptr},
                            Offset{"C:\\DATA\\BACKUP", 14, nullptr},
                            Offset{"C:\\DATA\\REPORT.DOC", 15, "DOC"}}) {
        CAPTURE(o.extension);
        remember_choice(o.path, 8, o.extension, 1);
        run_cancelled(false, "Save Title");
        if (o.expected)
            CHECK(std::string(r.lpstrDefExt ? r.lpstrDefExt : "<none>") == o.expected);
        else
            CHECK(r.lpstrDefExt == nullptr);
    }
    run_shutdown();
}
