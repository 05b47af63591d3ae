// The main window procedure and one handler per message and per menu command.
//   main_window_proc, kHowToUseText (see main_window.h)
#include "shell/main_window.h"

#include "display/band_painters.h"
#include "display/information_windows.h"
#include "engine/chooser_state.h"
#include "resources/resource.h"
#include "shell/copy_worker.h"
#include "shell/media_rules.h"
#include "shell/media_selection.h"
#include "shell/program_state.h"

const char kHowToUseText[] =
    "Sliverdisk Media Copy Utility\n"
    "\n"
    "Copies Large Files Across Multiple Floppies, Zip, Jaz Or Other Removeable Media.\n"
    "The Media Must Be Blank... Sliverdisk Will Not Delete Existing Material.\n"
    "\n"
    "Select Your Media, Or Enter A Custom Media Size.\n"
    "The 'Copy To Multiple Floppies' Option Will Calculate The Number Of Disks Needed And Split "
    "The File Into Sequentially Numbered Files. The Numbers Will Be Appended Onto The Original "
    "FileName For Easy Identification.\n"
    "\n"
    "The 'Re-Assemble From Multiple Floppies' Option Will Re-Assemble The Individual Parts Back "
    "Together And Re-Create The Original File And Name. Be Sure To Start From The First Disk And "
    "Select The FileName With The Number _1 Appended To It, Then Simply Insert The Disks In "
    "Sequence When Prompted.\n"
    "\n"
    "{Click In This Window To Close}";

namespace {

constexpr char kNoCustomSizeText[] = "No Custom Size Set... Copy Cancelled!";
constexpr char kInstructionsTitle[] = "Instructions...";

constexpr UINT kMediaItems[] = {IDM_MEDIA_FLOPPY, IDM_MEDIA_ZIP, IDM_MEDIA_JAZ, IDM_MEDIA_CUSTOM};

// Exactly one Media item carries the mark: the one chosen last.
void mark_media_item(UINT chosen)
{
    for (UINT item : kMediaItems)
        CheckMenuItem(g_program.main_menu, item,
                      MF_BYCOMMAND | (item == chosen ? MF_CHECKED : MF_UNCHECKED));
}

void on_copy_to_floppies()
{
    if (media_capacity() == 0) {
        MessageBoxA(g_program.main_window, kNoCustomSizeText, nullptr, MB_TASKMODAL | MB_ICONERROR);
        return;
    }
    request_jobs(true, false);
}

void on_reassemble()
{
    request_jobs(false, true);
}

void on_exit()
{
    // Take the close path, so the busy lock applies to Exit as well.
    PostMessageA(g_program.main_window, WM_CLOSE, 0, 0);
}

void on_media_floppy()
{
    set_media_capacity(kFloppyCapacity);
    mark_media_item(IDM_MEDIA_FLOPPY);
    update_window_title(kMediaFloppy);
    set_media_folder("A:\\");
}

void on_media_zip()
{
    set_media_capacity(kZipCapacity);
    mark_media_item(IDM_MEDIA_ZIP);
    update_window_title(kMediaZip);
    search_removable_drive();
}

void on_media_jaz()
{
    set_media_capacity(kJazCapacity);
    mark_media_item(IDM_MEDIA_JAZ);
    update_window_title(kMediaJaz);
    search_removable_drive();
}

void on_media_custom()
{
    run_custom_size_dialog();
    // Cancelled or not, Custom becomes the choice and the title shows the capacity in force.
    mark_media_item(IDM_MEDIA_CUSTOM);
    update_window_title(kMediaCustom);
    search_removable_drive();
}

void on_how_to_use()
{
    set_information(kInstructionsTitle, kHowToUseText);
    open_how_to_use_window();
}

void on_command(WORD command)
{
    switch (command) {
    case IDM_COPY_TO_FLOPPIES: on_copy_to_floppies(); break;
    case IDM_REASSEMBLE: on_reassemble(); break;
    case IDM_EXIT: on_exit(); break;
    case IDM_MEDIA_FLOPPY: on_media_floppy(); break;
    case IDM_MEDIA_ZIP: on_media_zip(); break;
    case IDM_MEDIA_JAZ: on_media_jaz(); break;
    case IDM_MEDIA_CUSTOM: on_media_custom(); break;
    case IDM_HOW_TO_USE: on_how_to_use(); break;
    case IDM_ABOUT: open_about_window(); break;
    default: break;
    }
}

void on_paint(HWND window)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    paint_gradient(window, dc);
    EndPaint(window, &ps);
}

void on_close(HWND window)
{
    DestroyWindow(window);
    PostQuitMessage(0);
}

} // namespace

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_PAINT:
        on_paint(window);
        return 0;
    case WM_CLOSE:
        // While a job runs, closing would pull the ground from under it: drop the request.
        if (!copy_worker_busy())
            on_close(window);
        return 0;
    case WM_COMMAND:
        if (!copy_worker_busy())
            on_command(LOWORD(wparam));
        return 0;
    default:
        return DefWindowProcA(window, message, wparam, lparam);
    }
}
