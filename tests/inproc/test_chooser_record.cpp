// The one dialog record both choosers share, as the platform receives it: the 76-byte form,
// the flags, the filter text, the owner, the folder, the title and the default extension.
#include <doctest.h>

#include <windows.h>

#include <cstring>
#include <string>

#include "engine/chooser_state.h"
#include "engine/file_choosers.h"
#include "engine/piece_set.h"
#include "shell/program_state.h"
#include "shell/startup.h"

namespace {
struct Cancel {
    const char* title;
};

// Cancels the chooser of that title once it shows, from another thread.
DWORD WINAPI cancel_when_shown(LPVOID param)
{
    const char* title = static_cast<Cancel*>(param)->title;
    const DWORD give_up = GetTickCount() + 15000;
    while (GetTickCount() < give_up) {
        HWND chooser = FindWindowA("#32770", title);
        if (chooser && IsWindowVisible(chooser)) {
            PostMessageA(chooser, WM_COMMAND, IDCANCEL, 0);
            return 0;
        }
        Sleep(10);
    }
    return 1;
}

void run_cancelled(bool open, const char* title)
{
    Cancel cancel{title};
    HANDLE watcher = CreateThread(nullptr, 0, cancel_when_shown, &cancel, 0, nullptr);
    REQUIRE(watcher);
    char chosen[kPathTextSize] = "";
    const bool confirmed = open ? choose_file_to_read(title, ChooserFolder::work, chosen)
                                : choose_file_to_write(title, ChooserFolder::media, "NAME.TXT",
                                                       chosen);
    DWORD watcher_result = 1;
    WaitForSingleObject(watcher, 20000);
    GetExitCodeThread(watcher, &watcher_result);
    CloseHandle(watcher);
    CHECK_FALSE(confirmed);
    CHECK(watcher_result == 0u);
}
}  // namespace

TEST_CASE("chooser record: 76-byte form, exact flags and filter, owner, folder, title")
{
    REQUIRE(run_startup(GetModuleHandleA(nullptr)) == kStartupOk);
    const OPENFILENAMEA& r = last_chooser_record();

    run_cancelled(true, "Open Title");
    CHECK(r.lStructSize == OPENFILENAME_SIZE_VERSION_400A);
    CHECK(r.hwndOwner == g_program.main_window);
    CHECK(r.Flags == 0x1804u);
    CHECK(std::memcmp(r.lpstrFilter, "All Files  *.*\0*.*\0\0", 20) == 0);
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
    CHECK(r.Flags == 0x806u);
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
