// The open and save choosers of both jobs, over one shared file dialog record.
//   choose_file_to_read  - open chooser in a remembered folder proposing the remembered name;
//                          the folder follows the user, then the copy-back
//   choose_file_to_write - save chooser (with its overwrite question) in a remembered folder;
//                          only that folder follows the user
//   current_folder_capture - the process's current folder, ending in a backslash
//   last_chooser_record - the shared dialog record as the last chooser left it (tests)
// Both return true when the user confirmed a file; `chosen` (kPathTextSize bytes) then holds
// the full path.
#ifndef SLIVERDISK_FILE_CHOOSERS_H
#define SLIVERDISK_FILE_CHOOSERS_H

#include <windows.h>
#include <commdlg.h>

#include "engine/chooser_state.h"

bool choose_file_to_read(const char* title, ChooserFolder where, char* chosen);
bool choose_file_to_write(const char* title, ChooserFolder where, const char* initial_name,
                          char* chosen);
void current_folder_capture(char* folder);
const OPENFILENAMEA& last_chooser_record();

#endif
