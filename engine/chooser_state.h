// Remembered chooser state: where the next file chooser opens and what it proposes.
//   reset_chooser_state - the start-up values: work folder C:\, media folder A:\, "*.*", index 1
//   set_media_folder / media_folder / work_folder - the two remembered folders
#ifndef SLIVERDISK_CHOOSER_STATE_H
#define SLIVERDISK_CHOOSER_STATE_H

void reset_chooser_state();
void set_media_folder(const char* folder);
const char* media_folder();
const char* work_folder();

#endif
