// Path rules around the file choosers. Pure: no platform calls, so they are tested directly.
//   apply_trailing_backslash - a folder text ends in exactly one backslash (empty stays empty)
//   make_default_extension   - what the dialog may append to a bare typed name
//   copy_back                - remembered name and type filter from a chooser's returned path
//   folder_of_chosen_path    - the folder part of a confirmed path, ending in a backslash
//   drop_last_two            - a first piece's name without its "_1"
//   drive_root               - "X:\" from a path's first character
//   has_drive_letter         - the path starts with a letter and a colon
//   free_space_root          - the root whose free space counts for a path
#ifndef SLIVERDISK_CHOOSER_RULES_H
#define SLIVERDISK_CHOOSER_RULES_H

#include <windows.h>

#include <cstddef>

void apply_trailing_backslash(char* text, size_t size);
void make_default_extension(const char* type_filter, char* out, size_t size);
void copy_back(const char* chosen, unsigned name_offset, unsigned extension_offset,
               char* file_name, char* type_filter, size_t size);
bool folder_of_chosen_path(const char* chosen, unsigned name_offset, char* out, size_t size);
void drop_last_two(const char* text, char* out, size_t size);
void drive_root(const char* path, char out[4]);
bool has_drive_letter(const char* path);

// GetVolumePathNameA's shape. Windows 95, 98, ME and NT 4.0 have no such call.
using VolumePathFinder = BOOL(WINAPI*)(LPCSTR path, LPSTR root, DWORD size);
// "X:\" for a path with a drive letter. Any other path (a network path) gets its volume's
// root from `find`; without one, the root is formed from its first character as for a
// drive letter, which the platform refuses, so such a destination counts as full. False
// when `find` fails.
bool free_space_root(const char* path, VolumePathFinder find, char* root, size_t size);

#endif
