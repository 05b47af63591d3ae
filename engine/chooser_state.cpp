// Remembered chooser state. (The choosers themselves come with the copy engine.)
//   reset_chooser_state, set_media_folder, media_folder, work_folder (see chooser_state.h)
#include "engine/chooser_state.h"

#include <windows.h>

namespace {
struct ChooserState {
    char work_folder[MAX_PATH] = "";
    char media_folder[MAX_PATH] = "";
    char file_name[MAX_PATH] = "";
    char type_filter[MAX_PATH] = "";
    unsigned filter_index = 1;
};
ChooserState g_chooser;
} // namespace

void reset_chooser_state()
{
    lstrcpyA(g_chooser.type_filter, "*.*");
    g_chooser.filter_index = 1;
    lstrcpyA(g_chooser.work_folder, "C:\\");
    lstrcpyA(g_chooser.media_folder, "A:\\");
}

void set_media_folder(const char* folder)
{
    lstrcpynA(g_chooser.media_folder, folder, sizeof g_chooser.media_folder);
}

const char* media_folder()
{
    return g_chooser.media_folder;
}

const char* work_folder()
{
    return g_chooser.work_folder;
}
