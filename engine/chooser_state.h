// Remembered chooser state: where the next file chooser opens and what it proposes.
// It lives for one run of the program, in memory only.
//   reset_chooser_state - the start-up values: work folder C:\, media folder A:\, empty name,
//                         type filter "*.*", filter index 1
//   set_media_folder / media_folder / work_folder - the two remembered folders
//   remembered_folder / remember_folder - either folder by its role
//   remembered_file_name / remembered_type_filter / remembered_filter_index
//   remember_choice     - the copy-back after an open chooser
#ifndef SLIVERDISK_CHOOSER_STATE_H
#define SLIVERDISK_CHOOSER_STATE_H

#include <cstdint>

enum class ChooserFolder { work, media };

void reset_chooser_state();
void set_media_folder(const char* folder);
const char* media_folder();
const char* work_folder();

const char* remembered_folder(ChooserFolder which);
void remember_folder(ChooserFolder which, const char* folder);
const char* remembered_file_name();
const char* remembered_type_filter();
uint32_t remembered_filter_index();
// Takes name and type filter from a chooser's returned path at the offsets it reported.
void remember_choice(const char* chosen, unsigned name_offset, unsigned extension_offset,
                     uint32_t filter_index);

#endif
