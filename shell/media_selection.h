// Media choice on the main thread.
//   media_capacity / set_media_capacity - bytes per medium; 0 means no custom size is set
//   update_window_title     - the main window's title for a media index
//   search_removable_drive  - points the media folder at the first removable drive C: to Z:
//   run_custom_size_dialog  - the "Input Box"; may change the capacity
//   input_box_proc          - dialog procedure of INPUTNUMDLG
#ifndef SLIVERDISK_MEDIA_SELECTION_H
#define SLIVERDISK_MEDIA_SELECTION_H

#include <windows.h>
#include <cstdint>

uint32_t media_capacity();
void set_media_capacity(uint32_t capacity);
void update_window_title(int media_index);
void search_removable_drive();
void run_custom_size_dialog();
INT_PTR CALLBACK input_box_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

#endif
