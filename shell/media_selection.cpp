// Media capacity, window title, removable-drive search and the custom size input box.
//   media_capacity, set_media_capacity, update_window_title, search_removable_drive,
//   run_custom_size_dialog, input_box_proc (see media_selection.h)
#include "shell/media_selection.h"

#include "display/information_windows.h"
#include "engine/chooser_state.h"
#include "resources/resource.h"
#include "shell/media_rules.h"
#include "shell/program_state.h"

namespace {

constexpr char kCustomSizePrompt[] = "Enter Max Size (Bytes)";
constexpr int kNumberEditLimit = 12;
constexpr int kInputBoxLeft = 100;
constexpr int kInputBoxTop = 100;

// Main thread only. The copy worker reads the capacity during a split, when the main
// window drops every command, so it never changes under a running job.
struct MediaState {
    uint32_t capacity = kFloppyCapacity;
    // Input box parameters: set just before the box opens, read by its procedure.
    char number_text[kNumberEditLimit + 4] = "";
    bool dialog_open = false;
};
MediaState g_media;

INT_PTR on_input_box_init(HWND dialog)
{
    SetDlgItemTextA(dialog, IDC_INPUT_PROMPT, information_text());
    SetDlgItemTextA(dialog, IDC_INPUT_EDIT, g_media.number_text);
    SendDlgItemMessageA(dialog, IDC_INPUT_EDIT, EM_LIMITTEXT, kNumberEditLimit, 0);
    SetWindowPos(dialog, HWND_TOPMOST, kInputBoxLeft, kInputBoxTop, 0, 0, SWP_NOSIZE);
    SetFocus(GetDlgItem(dialog, IDC_INPUT_EDIT));
    // Select everything so that typing replaces the pre-filled number.
    SendDlgItemMessageA(dialog, IDC_INPUT_EDIT, EM_SETSEL, 0, 128);
    return FALSE;  // the focus is set already
}

INT_PTR on_input_box_command(HWND dialog, WPARAM command)
{
    if (command == IDOK) {
        GetDlgItemTextA(dialog, IDC_INPUT_EDIT, g_media.number_text, kNumberEditLimit + 1);
        EndDialog(dialog, 1);
    } else if (command == IDCANCEL) {
        EndDialog(dialog, 0);
    }
    return TRUE;
}

} // namespace

uint32_t media_capacity()
{
    return g_media.capacity;
}

void set_media_capacity(uint32_t capacity)
{
    g_media.capacity = capacity;
}

void update_window_title(int media_index)
{
    char title[kTitleTextSize];
    if (format_window_title(media_index, g_media.capacity, title))
        SetWindowTextA(g_program.main_window, title);
}

void search_removable_drive()
{
    const char letter = first_removable_drive([](const char* root) -> unsigned {
        return GetDriveTypeA(root);
    });
    if (letter != 0) {
        const char root[] = {letter, ':', '\\', '\0'};
        set_media_folder(root);
    }
}

void run_custom_size_dialog()
{
    if (g_media.dialog_open)
        return;
    g_media.dialog_open = true;
    set_information_text(kCustomSizePrompt);
    wsprintfA(g_media.number_text, "%u", g_media.capacity);
    const INT_PTR result = DialogBoxParamA(g_program.instance, "INPUTNUMDLG", g_program.main_window,
                                           input_box_proc, 0);
    g_media.dialog_open = false;
    // A box that could not be made returns -1 and counts as OK: the number text still holds
    // the capacity, which parses back to itself.
    if (result != 0 && g_media.number_text[0] != '\0')
        g_media.capacity = parse_number(g_media.number_text);
}

INT_PTR CALLBACK input_box_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return on_input_box_init(dialog);
    case WM_COMMAND:
        return on_input_box_command(dialog, wparam);
    default:
        return FALSE;
    }
}
