// The file choosers and the folder capture around them.
//   choose_file_to_read, choose_file_to_write, current_folder_capture, last_chooser_record
//   (see file_choosers.h)
//   run_chooser - fills the shared record and shows one dialog
//   follow_user - where the remembered folder goes after a chooser
#include "engine/file_choosers.h"

#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <cstring>

#include "engine/chooser_rules.h"
#include "engine/job_texts.h"
#include "engine/piece_set.h"
#include "shell/program_state.h"

namespace {

constexpr DWORD kOpenFlags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
constexpr DWORD kSaveFlags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;
static_assert(kOpenFlags == 0x1804 && kSaveFlags == 0x806, "chooser flags");
// The record's first form, without the later fields: 76 bytes in the 32-bit program (a
// 64-bit test build has wider pointers, so the size is taken from the record itself).
constexpr DWORD kRecordSize =
    offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(OPENFILENAMEA::lpTemplateName);
#ifndef _WIN64
static_assert(kRecordSize == 76, "the 76-byte form of the record");
#endif

enum class ChooserKind { open, save };

// Rebuilt at every chooser; only the two file buffers are read afterwards.
struct ChooserWork {
    OPENFILENAMEA record;
    char open_file[kPathTextSize];
    char save_file[kPathTextSize];
    char default_extension[kPathTextSize];
    // A copy: the remembered folder itself changes right after the chooser.
    char initial_folder[kPathTextSize];
};
ChooserWork g_work;

BOOL run_chooser(ChooserKind kind, const char* title, const char* initial_name,
                 ChooserFolder where)
{
    char* file = kind == ChooserKind::open ? g_work.open_file : g_work.save_file;
    lstrcpynA(file, initial_name ? initial_name : "", kPathTextSize);
    lstrcpynA(g_work.initial_folder, remembered_folder(where), kPathTextSize);
    make_default_extension(remembered_type_filter(), g_work.default_extension, kPathTextSize);

    std::memset(&g_work.record, 0, sizeof g_work.record);
    OPENFILENAMEA& r = g_work.record;
    r.lStructSize = kRecordSize;
    r.hwndOwner = g_program.main_window;
    r.lpstrFilter = kFilterText;
    r.nFilterIndex = remembered_filter_index();
    r.lpstrFile = file;
    r.nMaxFile = kPathTextSize;
    r.lpstrInitialDir = g_work.initial_folder;
    r.lpstrTitle = title;
    r.Flags = kind == ChooserKind::open ? kOpenFlags : kSaveFlags;
    // No default extension at all rather than an empty one, which some dialogs take as
    // "append the filter's extension".
    r.lpstrDefExt = g_work.default_extension[0] ? g_work.default_extension : nullptr;
    return kind == ChooserKind::open ? GetOpenFileNameA(&r) : GetSaveFileNameA(&r);
}

// A dialog that leaves the current folder alone (Wine's) would pin the remembered folder to
// where the program started; the confirmed path itself says where the user went.
void follow_user(ChooserFolder which, BOOL confirmed, const char* chosen)
{
    char folder[kPathTextSize];
    if (!confirmed ||
        !folder_of_chosen_path(chosen, g_work.record.nFileOffset, folder, sizeof folder))
        current_folder_capture(folder);
    remember_folder(which, folder);
}

} // namespace

void current_folder_capture(char* folder)
{
    const DWORD length = GetCurrentDirectoryA(kPathTextSize, folder);
    if (length == 0 || length >= kPathTextSize)
        folder[0] = '\0';
    apply_trailing_backslash(folder, kPathTextSize);
}

bool choose_file_to_read(const char* title, ChooserFolder where, char* chosen)
{
    const BOOL confirmed = run_chooser(ChooserKind::open, title, remembered_file_name(), where);
    follow_user(where, confirmed, g_work.open_file);
    remember_choice(g_work.open_file, g_work.record.nFileOffset, g_work.record.nFileExtension,
                    g_work.record.nFilterIndex);
    if (!confirmed)
        return false;
    lstrcpynA(chosen, g_work.open_file, kPathTextSize);
    return true;
}

bool choose_file_to_write(const char* title, ChooserFolder where, const char* initial_name,
                          char* chosen)
{
    const BOOL confirmed = run_chooser(ChooserKind::save, title, initial_name, where);
    follow_user(where, confirmed, g_work.save_file);
    if (!confirmed)
        return false;
    lstrcpynA(chosen, g_work.save_file, kPathTextSize);
    return true;
}

const OPENFILENAMEA& last_chooser_record()
{
    return g_work.record;
}
