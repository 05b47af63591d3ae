// Remembered chooser state.
//   reset_chooser_state, set_media_folder, media_folder, work_folder, remembered_folder,
//   remember_folder, remembered_file_name, remembered_type_filter, remembered_filter_index,
//   remember_choice (see chooser_state.h)
#include "engine/chooser_state.h"

#include <windows.h>

#include "engine/chooser_rules.h"
#include "engine/piece_set.h"

namespace {

struct ChooserState {
    char work_folder[kPathTextSize] = "";
    char media_folder[kPathTextSize] = "";
    char file_name[kPathTextSize] = "";
    char type_filter[kPathTextSize] = "";
    uint32_t filter_index = 1;
};
ChooserState g_chooser;

char* folder_text(ChooserFolder which)
{
    return which == ChooserFolder::work ? g_chooser.work_folder : g_chooser.media_folder;
}

} // namespace

void reset_chooser_state()
{
    lstrcpyA(g_chooser.type_filter, "*.*");
    g_chooser.filter_index = 1;
    g_chooser.file_name[0] = '\0';
    lstrcpyA(g_chooser.work_folder, "C:\\");
    lstrcpyA(g_chooser.media_folder, "A:\\");
}

void set_media_folder(const char* folder)
{
    remember_folder(ChooserFolder::media, folder);
}

const char* media_folder()
{
    return g_chooser.media_folder;
}

const char* work_folder()
{
    return g_chooser.work_folder;
}

const char* remembered_folder(ChooserFolder which)
{
    return folder_text(which);
}

void remember_folder(ChooserFolder which, const char* folder)
{
    lstrcpynA(folder_text(which), folder, kPathTextSize);
}

const char* remembered_file_name()
{
    return g_chooser.file_name;
}

const char* remembered_type_filter()
{
    return g_chooser.type_filter;
}

uint32_t remembered_filter_index()
{
    return g_chooser.filter_index;
}

void remember_choice(const char* chosen, unsigned name_offset, unsigned extension_offset,
                     uint32_t filter_index)
{
    copy_back(chosen, name_offset, extension_offset, g_chooser.file_name, g_chooser.type_filter,
              kPathTextSize);
    g_chooser.filter_index = filter_index;
}
